// Variables of this process's environment, set for as long as the object lives: the destructor puts
// back every variable it touched as it was before, unset again if it was unset, also when a failed
// assertion leaves the test early.
#pragma once

#include <QByteArray>
#include <QString>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

namespace tolvane::testing {

class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    // Sets each variable in order: ScopedEnvironment env{{"HOME", home}, {"TOLVANE_PEX", path}};
    ScopedEnvironment(std::initializer_list<std::pair<const char*, QString>> settings);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    // The value is written in the file-name encoding, as a path in the environment is read back.
    void set(const char* name, const QString& value);
    void unset(const char* name);

private:
    // The value before this object first touched the variable; none when it was unset.
    void remember(const char* name);

    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> m_saved;
};

} // namespace tolvane::testing
