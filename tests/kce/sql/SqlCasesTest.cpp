// Runs every case file of cases/ (see SqlCaseRunner.h for the layout).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/kce/sql/SqlCaseRunner.h"

namespace kce::sql::test {
namespace {

std::vector<std::string> CaseFiles() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(KCE_SQL_TEST_DIR) + "/cases")) {
        if (entry.path().extension() == ".sqlt") files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class SqlCaseFile : public testing::TestWithParam<std::string> {};

TEST_P(SqlCaseFile, AllCasesPass) {
    for (const std::string& failure : RunCaseFile(std::string(KCE_SQL_TEST_DIR) + "/cases/" + GetParam())) {
        ADD_FAILURE() << failure;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SqlCaseFile, testing::ValuesIn(CaseFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.find('.'));
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

}  // namespace
}  // namespace kce::sql::test
