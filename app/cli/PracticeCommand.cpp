// parvell-cli practice [PATH]: the stand-in for the practice system, which on the old platform
// wrote the "Current Practice" value the window starts from.

#include <cctype>
#include <filesystem>
#include <ostream>

#include "app/cli/Commands.h"
#include "settings/CodePage.h"
#include "settings/Kestrane.h"

namespace parvell::cli {

namespace {

// A path in the old platform's form (a drive letter, or backslashes) is stored as typed. A
// relative path of this system is made absolute, because the window reads it from another
// working folder.
std::string StoredForm(const std::string& path) {
    const bool oldForm =
        path.find('\\') != std::string::npos ||
        (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])));
    if (oldForm || path.empty() || path.front() == '/') return path;
    return std::filesystem::absolute(std::filesystem::path(path)).lexically_normal().string();
}

}  // namespace

int PracticeCommand(CommandArgs args, std::ostream& out, std::ostream& err) {
    if (args.size() > 1) {
        err << "parvell-cli: practice takes one PATH at most\n"
            << "usage: parvell-cli practice [PATH]\n";
        return 2;
    }
    if (args.empty()) {
        out << store::Utf8FromCp1252(ReadCurrentPractice()) << '\n';
        return 0;
    }
    const std::string folder = StoredForm(args[0]);
    WriteCurrentPractice(store::Cp1252FromUtf8(folder));
    out << folder << '\n';
    return 0;
}

}  // namespace parvell::cli
