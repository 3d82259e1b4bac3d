// The in-memory registry for tests: text, list and binary values under keys found by name.
#include <algorithm>
#include <cctype>

#include "hs_reg.h"

namespace hs_reg {

namespace {
bool sameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}
} // namespace

MemoryRegistry::Key* MemoryRegistry::find(const std::string& key) {
    const auto it = std::find_if(m_keys.begin(), m_keys.end(), [&](const Key& k) { return sameName(k.name, key); });
    return it == m_keys.end() ? nullptr : &*it;
}

MemoryRegistry::Key& MemoryRegistry::ensure(const std::string& key) {
    if (Key* found = find(key)) {
        return *found;
    }
    m_keys.push_back(Key{key, {}});
    return m_keys.back();
}

void MemoryRegistry::setText(const std::string& key, const std::string& name, const std::string& value) {
    Key& k = ensure(key);
    for (auto& [valueName, v] : k.values) {
        if (sameName(valueName, name)) {
            v = Value{ValueStatus::Text, value};
            return;
        }
    }
    k.values.emplace_back(name, Value{ValueStatus::Text, value});
}

void MemoryRegistry::setTextList(const std::string& key, const std::string& name, const std::vector<std::string>&) {
    setBinary(key, name);
}

void MemoryRegistry::setBinary(const std::string& key, const std::string& name) {
    Key& k = ensure(key);
    for (auto& [valueName, v] : k.values) {
        if (sameName(valueName, name)) {
            v = Value{ValueStatus::NotText, {}};
            return;
        }
    }
    k.values.emplace_back(name, Value{ValueStatus::NotText, {}});
}

void MemoryRegistry::addKey(const std::string& key) {
    ensure(key);
}

void MemoryRegistry::denyAccess(const std::string& key) {
    m_denied.push_back(key);
}

bool MemoryRegistry::openKey(const std::string& key) {
    if (std::any_of(m_denied.begin(), m_denied.end(), [&](const std::string& d) { return sameName(d, key); })) {
        return false;
    }
    // A key is there with any key below it, as in a real registry.
    const std::string below = key + "\\";
    return find(key) != nullptr || std::any_of(m_keys.begin(), m_keys.end(), [&](const Key& k) {
               return k.name.size() > below.size() && sameName(k.name.substr(0, below.size()), below);
           });
}

RegistryValue MemoryRegistry::readValue(const std::string& key, const std::string& name) {
    const Key* k = find(key);
    if (k == nullptr) {
        return {};
    }
    for (const auto& [valueName, v] : k->values) {
        if (sameName(valueName, name)) {
            return RegistryValue{v.status, v.text};
        }
    }
    return {};
}

std::vector<std::string> MemoryRegistry::subKeyNames(const std::string& key) {
    std::vector<std::string> names;
    const std::string prefix = key + "\\";
    for (const Key& k : m_keys) {
        if (k.name.size() > prefix.size() && sameName(k.name.substr(0, prefix.size()), prefix) &&
            k.name.find('\\', prefix.size()) == std::string::npos) {
            names.push_back(k.name.substr(prefix.size()));
        }
    }
    return names;
}

} // namespace hs_reg
