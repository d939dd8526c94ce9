// Runs every case file of cases/ on the in-memory road (layout in SqlCaseFile.h).
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/kce/sql/SqlCaseRunner.h"

namespace kce::sql::test {
namespace {

class SqlCaseFile : public testing::TestWithParam<std::string> {};

TEST_P(SqlCaseFile, AllCasesPass) {
    MemoryRoad road;
    for (const std::string& failure :
         RunCaseFile(std::string(KCE_SQL_TEST_DIR) + "/cases/" + GetParam(), road)) {
        ADD_FAILURE() << failure;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SqlCaseFile,
                         testing::ValuesIn(CaseFileNames(std::string(KCE_SQL_TEST_DIR) + "/cases")),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.find('.'));
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); },
                                 '_');
                             return name;
                         });

}  // namespace
}  // namespace kce::sql::test
