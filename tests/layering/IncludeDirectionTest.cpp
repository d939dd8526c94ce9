// Every include of the product's sources points the allowed way: the folders each folder may
// include are the table "Which folder may include which" in CONTRIBUTING.md, read from there so
// that the page and the check cannot disagree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Folder -> the folders (or single headers, such as "kce/kce.h") it may include besides its own.
using Matrix = std::map<std::string, std::set<std::string>>;

std::string SourceRoot() {
    const char* root = std::getenv("PARVELL_SOURCE_DIR");
    return root != nullptr ? root : ".";
}

// Reads the table rows "| `folder` | `a`, `b` |" that follow the heading.
Matrix ReadMatrix(const fs::path& contributing) {
    std::ifstream in(contributing);
    Matrix matrix;
    bool inSection = false;
    const std::regex name("`([^`]+)`");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("## ", 0) == 0) inSection = line == "## Which folder may include which";
        if (!inSection || line.rfind("| `", 0) != 0) continue;
        const std::size_t split = line.find('|', 1);
        const std::string folderCell = line.substr(1, split - 1);
        const std::string allowedCell = line.substr(split + 1);
        std::smatch folder;
        if (!std::regex_search(folderCell, folder, name)) continue;
        std::set<std::string>& allowed = matrix[folder[1]];
        for (std::sregex_iterator it(allowedCell.begin(), allowedCell.end(), name), end; it != end;
             ++it)
            allowed.insert((*it)[1]);
    }
    return matrix;
}

// The matrix folder a path belongs to: the longest one that is a prefix of it, "" for none.
std::string FolderOf(const Matrix& matrix, const std::string& path) {
    std::string best;
    for (const auto& [folder, allowed] : matrix) {
        if ((path == folder || path.rfind(folder + "/", 0) == 0) && folder.size() > best.size())
            best = folder;
    }
    return best;
}

// "file:line: includes X" for each quoted include of another folder that the matrix does not allow.
std::vector<std::string> WrongWayIncludes(const fs::path& root, const Matrix& matrix) {
    std::vector<std::string> wrong;
    const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
    for (const auto& [top, allowedUnused] : matrix) {
        if (!fs::is_directory(root / top)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp" && ext != ".c")) continue;
            const std::string file = fs::relative(entry.path(), root).generic_string();
            const std::string own = FolderOf(matrix, fs::path(file).parent_path().generic_string());
            if (own != top) continue;  // a folder below with a row of its own
            std::ifstream in(entry.path());
            int lineNumber = 0;
            for (std::string line; std::getline(in, line);) {
                ++lineNumber;
                std::smatch m;
                if (!std::regex_search(line, m, include)) continue;
                const std::string target = m[1];
                if (target.find('/') == std::string::npos) continue;
                const std::set<std::string>& allowed = matrix.at(own);
                if (allowed.count(target) != 0) continue;
                const std::string folder =
                    FolderOf(matrix, fs::path(target).parent_path().generic_string());
                if (folder == own || (!folder.empty() && allowed.count(folder) != 0)) continue;
                wrong.push_back(file + ":" + std::to_string(lineNumber) + ": includes " + target);
            }
        }
    }
    std::sort(wrong.begin(), wrong.end());
    return wrong;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::ostringstream out;
    for (const std::string& line : lines) out << line << '\n';
    return out.str();
}

TEST(IncludeDirection, EveryIncludeOfTheProductPointsTheAllowedWay) {
    const Matrix matrix = ReadMatrix(fs::path(SourceRoot()) / "CONTRIBUTING.md");
    ASSERT_FALSE(matrix.empty()) << "CONTRIBUTING.md has no table of allowed includes";
    const std::vector<std::string> wrong = WrongWayIncludes(SourceRoot(), matrix);
    EXPECT_TRUE(wrong.empty()) << Joined(wrong);
}

// A folder of the product without a row would escape the check: every folder holding sources
// (outside tests, benchmarks and packaging) belongs to a row.
TEST(IncludeDirection, EverySourceFolderHasARow) {
    const Matrix matrix = ReadMatrix(fs::path(SourceRoot()) / "CONTRIBUTING.md");
    const fs::path root = SourceRoot();
    const std::set<std::string> unchecked = {"tests", "bench", "packaging",
                                             "build", "cmake", "scripts"};
    std::set<std::string> missing;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string file = fs::relative(entry.path(), root).generic_string();
        const std::string first = file.substr(0, file.find('/'));
        if (unchecked.count(first) != 0 || first.rfind("build", 0) == 0 || first[0] == '.')
            continue;
        if (entry.path().extension() != ".cpp") continue;
        if (FolderOf(matrix, fs::path(file).parent_path().generic_string()).empty())
            missing.insert(fs::path(file).parent_path().generic_string());
    }
    EXPECT_TRUE(missing.empty()) << Joined({missing.begin(), missing.end()});
}

// The check itself, on a small tree: a lower folder reaching up, a folder reaching a private
// header of one it may use only through its public header, and the allowed kinds.
TEST(IncludeDirection, TheCheckFindsWhatPointsTheWrongWay) {
    parvell::test::TempDir dir;
    const fs::path root = dir.Path();
    auto write = [&](const std::string& file, const std::string& text) {
        fs::create_directories((root / file).parent_path());
        std::ofstream(root / file) << text;
    };
    write("CONTRIBUTING.md",
          "# Working here\n\n## Which folder may include which\n\n"
          "| Folder | May include |\n|---|---|\n"
          "| `common` | |\n| `lib` | `lib/sub`, `common` |\n| `lib/sub` | `common` |\n"
          "| `top` | `lib/Public.h`, `common` |\n\n## Next\n\n| `top` | `lib` |\n");
    write("common/C.h", "#pragma once\n");
    write("lib/Public.h", "#include \"common/C.h\"\n#include \"lib/sub/S.h\"\n");
    write("lib/sub/S.h", "#include \"lib/Public.h\"\n");
    write("top/T.cpp",
          "#include \"top/T.h\"\n#include <vector>\n#include \"lib/Public.h\"\n"
          "  #  include \"lib/Private.h\"\n#include \"Local.h\"\n");

    const Matrix matrix = ReadMatrix(root / "CONTRIBUTING.md");
    EXPECT_EQ(matrix.at("top"), (std::set<std::string>{"lib/Public.h", "common"}));
    EXPECT_EQ(WrongWayIncludes(root, matrix),
              (std::vector<std::string>{"lib/sub/S.h:1: includes lib/Public.h",
                                        "top/T.cpp:4: includes lib/Private.h"}));
}

}  // namespace
