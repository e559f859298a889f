#pragma once
// Shared fixture pieces for the recipe tests: a scratch folder and a decimal-comma locale.
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace station::test {

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorlick-recipe-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = std::filesystem::canonical(pattern);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

    // Writes `content` to a file below the folder (creating sub-folders) and returns its path.
    std::string write(const std::string& name, std::string_view content) const {
        const auto p = path_ / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }

private:
    std::filesystem::path path_;
};

// Switches the C library's numbers to a language that writes a decimal comma, as a GUI toolkit
// does on a German desk, and back when destroyed. Uses an installed locale, or compiles one into
// `scratch` with localedef; active() is false when neither works.
class DecimalCommaLocale {
public:
    explicit DecimalCommaLocale(const std::filesystem::path& scratch) {
        if (const char* now = std::setlocale(LC_NUMERIC, nullptr)) previous_ = now;
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
            if (tryLocale(name)) return;
        const std::string dir = (scratch / "locales").string();
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        // localedef exits non-zero for mere warnings; whether setlocale takes the result decides.
        const std::string cmd = "localedef -i de_DE -f ISO-8859-1 '" + dir + "/de_DE.ISO-8859-1' >/dev/null 2>&1";
        if (ec || std::system(cmd.c_str()) == -1) return;
        if (const char* old = std::getenv("LOCPATH")) oldLocpath_ = old;
        hadLocpath_ = std::getenv("LOCPATH") != nullptr;
        setenv("LOCPATH", dir.c_str(), 1);
        setLocpath_ = true;
        tryLocale("de_DE.ISO-8859-1");
    }
    ~DecimalCommaLocale() {
        std::setlocale(LC_NUMERIC, previous_.c_str());
        if (setLocpath_) {
            if (hadLocpath_)
                setenv("LOCPATH", oldLocpath_.c_str(), 1);
            else
                unsetenv("LOCPATH");
        }
    }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    bool active() const { return active_; }

private:
    bool tryLocale(const char* name) {
        active_ = std::setlocale(LC_NUMERIC, name) != nullptr && std::localeconv()->decimal_point[0] == ',';
        return active_;
    }

    std::string previous_ = "C";
    std::string oldLocpath_;
    bool hadLocpath_ = false;
    bool setLocpath_ = false;
    bool active_ = false;
};

}  // namespace station::test
