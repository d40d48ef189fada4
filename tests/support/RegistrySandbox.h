#pragma once

#include "platform/RegistryStore.h"
#include "tests/support/TempTree.h"

#include <optional>
#include <string>

namespace testing_support {

// A registry store of its own in a fresh temporary folder, in force (platform::RegistryStore())
// while the object lives, so every registry user of a test works on it.
class TRegistrySandbox {
public:
    // Writes a value under the key (a full key path); false when it cannot.
    bool Put(const std::string& key, const std::string& name, const platform::TRegValue& value)
    {
        return !Store.WriteValue(key, name, value);
    }
    // The value under the key, or nothing when there is none.
    std::optional<platform::TRegValue> Stored(const std::string& key, const std::string& name)
    {
        platform::TRegValue value;
        if (Store.ReadValue(key, name, value)) {
            return std::nullopt;
        }
        return value;
    }

    TTempTree Tree;
    platform::TRegistryStore Store {Tree.Path("Twinrake.reg")};

private:
    platform::TScopedRegistryStore FScope {Store};
};

} // namespace testing_support
