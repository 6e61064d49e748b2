#pragma once

// Switches the whole process to a locale with a decimal comma for the life of
// the object, then back. The build compiles de_DE.UTF-8 into its own tree
// (KALO_COMMA_LOCALE_DIR) when the system lacks it; where neither has it,
// available() is false and the test should skip.

#include <clocale>
#include <cstdlib>
#include <string>

namespace kalo_test {

class CommaLocale {
public:
    static constexpr const char* name = "de_DE.UTF-8";

    CommaLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
#ifdef KALO_COMMA_LOCALE_DIR
        if (std::setlocale(LC_ALL, name) == nullptr)
            setenv("LOCPATH", KALO_COMMA_LOCALE_DIR, 1);
#endif
        available_ = std::setlocale(LC_ALL, name) != nullptr;
        commaDecimal_ = available_ && std::string(std::localeconv()->decimal_point) == ",";
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;
    ~CommaLocale() { restore(); }

    bool available() const { return available_; }
    bool hasDecimalComma() const { return commaDecimal_; }
    void restore() { std::setlocale(LC_ALL, previous_.c_str()); }

private:
    std::string previous_;
    bool available_ = false;
    bool commaDecimal_ = false;
};

} // namespace kalo_test
