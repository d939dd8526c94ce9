#pragma once
// Locales made for one test with the C library's localedef from the system's locale sources
// (Debian package "locales"), in a private folder that LOCPATH points at; and the locale
// variables of the environment, set for a test and put back afterwards.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace parvell::test {

// The folder holds one compiled locale per name ("en_US.UTF-8": source en_US, code set UTF-8).
// When localedef is not installed at all, Available() is false and the test should skip; any
// other failure of localedef (missing sources, for instance) fails the test with its output.
class TGeneratedLocales {
public:
    explicit TGeneratedLocales(const std::vector<std::string>& names) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "parvell-locales-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot make a folder for the test locales";
            return;
        }
        folder_ = pattern;
        if (std::system("command -v localedef >/dev/null 2>&1") != 0) return;
        available_ = true;
        for (const std::string& name : names) {
            const std::size_t dot = name.find('.');
            const std::string source = name.substr(0, dot);
            const std::string codeSet = dot == std::string::npos ? "UTF-8" : name.substr(dot + 1);
            const std::string target = folder_ + "/" + name;
            const std::string log = folder_ + "/localedef.log";
            const std::string command = "localedef -i '" + source + "' -f '" + codeSet + "' '" +
                                        target + "' >'" + log + "' 2>&1";
            // localedef exits with 1 for warnings and still writes the locale: the files decide.
            std::system(command.c_str());
            if (!std::filesystem::exists(target + "/LC_TIME")) {
                std::ostringstream output;
                output << std::ifstream(log).rdbuf();
                ADD_FAILURE() << "localedef could not make " << name << " (is the package "
                              << "\"locales\" installed? scripts/setup installs it):\n"
                              << output.str();
                available_ = false;
            }
        }
    }
    ~TGeneratedLocales() {
        std::error_code ec;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
    }
    TGeneratedLocales(const TGeneratedLocales&) = delete;
    TGeneratedLocales& operator=(const TGeneratedLocales&) = delete;

    bool Available() const { return available_; }
    const std::string& Path() const { return folder_; }

private:
    std::string folder_;
    bool available_ = false;
};

// Sets the variables that choose the locale (the others of them unset) for the lifetime of the
// object, then puts back what was there.
class TScopedLocaleEnv {
public:
    struct Setting {
        const char* name;
        std::string value;
    };
    static constexpr std::array<const char*, 6> kNames = {"LC_ALL",  "LC_NUMERIC", "LC_MONETARY",
                                                          "LC_TIME", "LANG",       "LOCPATH"};

    explicit TScopedLocaleEnv(const std::vector<Setting>& settings) {
        for (std::size_t i = 0; i < kNames.size(); ++i) {
            if (const char* value = std::getenv(kNames[i])) saved_[i] = value;
            ::unsetenv(kNames[i]);
        }
        for (const Setting& setting : settings) ::setenv(setting.name, setting.value.c_str(), 1);
    }
    ~TScopedLocaleEnv() {
        for (std::size_t i = 0; i < kNames.size(); ++i) {
            if (saved_[i]) {
                ::setenv(kNames[i], saved_[i]->c_str(), 1);
            } else {
                ::unsetenv(kNames[i]);
            }
        }
    }
    TScopedLocaleEnv(const TScopedLocaleEnv&) = delete;
    TScopedLocaleEnv& operator=(const TScopedLocaleEnv&) = delete;

private:
    std::array<std::optional<std::string>, kNames.size()> saved_;
};

}  // namespace parvell::test
