// The Windows registry below HKEY_LOCAL_MACHINE: keys opened for full access with creation allowed,
// values read as plain or expandable strings. Built on Windows only.
#ifdef _WIN32

#include <windows.h>

#include "hs_reg.h"

namespace hs_reg {

namespace {

class Key {
public:
    explicit Key(const std::string& name) {
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &m_key, &disposition) != ERROR_SUCCESS) {
            m_key = nullptr;
        }
    }
    ~Key() {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

class WindowsRegistry : public Registry {
public:
    bool openKey(const std::string& key) override { return Key(key).get() != nullptr; }

    RegistryValue readValue(const std::string& key, const std::string& name) override {
        Key k(key);
        if (k.get() == nullptr) {
            return {};
        }
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(k.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return {};
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            return RegistryValue{ValueStatus::NotText, {}};
        }
        std::string text(size, '\0');
        if (RegQueryValueExA(k.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
            ERROR_SUCCESS) {
            return {};
        }
        text.resize(strnlen(text.c_str(), size));
        return RegistryValue{ValueStatus::Text, text};
    }

    std::vector<std::string> subKeyNames(const std::string& key) override {
        std::vector<std::string> names;
        Key k(key);
        if (k.get() == nullptr) {
            return names;
        }
        char buffer[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof buffer;
            if (RegEnumKeyExA(k.get(), i, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            names.emplace_back(buffer, length);
        }
        return names;
    }
};

} // namespace

std::shared_ptr<Registry> makePlatformRegistry() {
    return std::make_shared<WindowsRegistry>();
}

} // namespace hs_reg

#endif
