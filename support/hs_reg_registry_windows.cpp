// The Windows registry: keys opened for reading only, so nothing is ever created or changed (a process that
// may write below HKEY_LOCAL_MACHINE would otherwise leave empty keys there); values read as plain or
// expandable strings (not expanded), names and texts in the ANSI code page. The system information reads
// below HKEY_LOCAL_MACHINE; tests put a key of their own in its place. Built on Windows only.
#ifdef _WIN32

#include "hs_reg.h"
#include "platform.h"

#include <windows.h>

namespace hs_reg {

namespace {

class Key {
public:
    Key(HKEY root, const std::string& name) {
        if (::RegOpenKeyExW(root, platform::wideText(name).c_str(), 0, KEY_READ, &m_key) != ERROR_SUCCESS) {
            m_key = nullptr;
        }
    }
    ~Key() {
        if (m_key != nullptr) {
            ::RegCloseKey(m_key);
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
    WindowsRegistry(HKEY root, std::string base) : m_root(root), m_base(std::move(base)) {}

    bool openKey(const std::string& key) override { return Key(m_root, fullName(key)).get() != nullptr; }

    RegistryValue readValue(const std::string& key, const std::string& name) override {
        const Key k(m_root, fullName(key));
        if (k.get() == nullptr) {
            return {};
        }
        const std::wstring valueName = platform::wideText(name);
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExW(k.get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return {};
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            return RegistryValue{ValueStatus::NotText, {}};
        }
        // The value may change between the two calls: ask again with the size it has then.
        std::wstring text;
        LSTATUS status = ERROR_MORE_DATA;
        while (status == ERROR_MORE_DATA) {
            text.assign(size / sizeof(wchar_t) + 1, L'\0');
            size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
            status = ::RegQueryValueExW(k.get(), valueName.c_str(), nullptr, &type,
                                        reinterpret_cast<BYTE*>(text.data()), &size);
        }
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return {};
        }
        // The stored text need not end in a NUL, or may end in several.
        text.resize(std::min<std::size_t>(size / sizeof(wchar_t), text.size()));
        text.resize(std::wcslen(text.c_str()));
        return RegistryValue{ValueStatus::Text, platform::narrowText(text)};
    }

    std::vector<std::string> subKeyNames(const std::string& key) override {
        std::vector<std::string> names;
        const Key k(m_root, fullName(key));
        if (k.get() == nullptr) {
            return names;
        }
        // A key name has at most 255 characters.
        wchar_t buffer[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof buffer / sizeof buffer[0];
            if (::RegEnumKeyExW(k.get(), i, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            names.push_back(platform::narrowText(std::wstring_view(buffer, length)));
        }
        return names;
    }

private:
    std::string fullName(const std::string& key) const { return m_base.empty() ? key : m_base + "\\" + key; }

    HKEY m_root;
    std::string m_base;
};

} // namespace

std::shared_ptr<Registry> makePlatformRegistry() {
    return std::make_shared<WindowsRegistry>(HKEY_LOCAL_MACHINE, std::string());
}

std::shared_ptr<Registry> makeWindowsRegistry(RegistryRoot root, const std::string& base) {
    return std::make_shared<WindowsRegistry>(root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                                             base);
}

} // namespace hs_reg

#endif
