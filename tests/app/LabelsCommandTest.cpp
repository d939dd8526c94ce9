// parvell-cli labels over a small practice: the PDF of a label result, a result without
// "Street 2" refused before any page, and usage errors.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "app/cli/Commands.h"
#include "tests/support/PracticeFixture.h"

namespace parvell::testing {
namespace {

class LabelsCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        practice_ = dir_.path().toStdString();
        std::vector<std::string> statements = {
            "CREATE TABLE addr (\"Name\" CHAR(30), \"Street 1\" CHAR(30), \"Street 2\" CHAR(30), "
            "CityLine CHAR(30))"};
        for (int i = 1; i <= 31; ++i) {
            statements.push_back("INSERT INTO addr VALUES ('Name " + std::to_string(i) + "', '" +
                                 std::to_string(i) + " Elm St', '', 'DOVER, DE 19901')");
        }
        test::MakePractice(practice_, statements);
    }

    int Run(const std::string& sql, const std::string& pdf, std::string* errors = nullptr) {
        const std::string sqlFile = dir_.filePath("labels.sql").toStdString();
        std::ofstream(sqlFile) << sql;
        const std::vector<std::string> args = {
            "labels", "--data", practice_ + "/mwddf.kdd", "--sql", sqlFile, "--pdf", pdf};
        std::ostringstream out, err;
        const int code = cli::Dispatch(args, out, err);
        output_ = out.str();
        if (errors) *errors = err.str();
        return code;
    }

    QTemporaryDir dir_;
    std::string practice_;
    std::string output_;
};

TEST_F(LabelsCommand, WritesTheLabelPagesAsPdf) {
    const std::string pdf = dir_.filePath("labels.pdf").toStdString();
    ASSERT_EQ(Run("SELECT * FROM addr", pdf), 0);
    EXPECT_EQ(output_, "2 pages written to " + pdf + "\n");
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {QString::fromStdString(pdf)});
    ASSERT_TRUE(info.waitForFinished());
    const QString text = QString::fromUtf8(info.readAllStandardOutput());
    EXPECT_TRUE(text.contains(QRegularExpression("Pages: +2\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains("612 x 792 pts (letter)")) << text.toStdString();
}

TEST_F(LabelsCommand, ResultWithoutStreet2IsRefusedBeforeAnyPage) {
    const std::string pdf = dir_.filePath("none.pdf").toStdString();
    std::string errors;
    EXPECT_EQ(Run("SELECT \"Name\", \"Street 1\", CityLine FROM addr", pdf, &errors), 1);
    EXPECT_EQ(errors, "parvell-cli: KdbTable1: Field 'Street 2' not found\n");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(pdf)));
}

TEST_F(LabelsCommand, AFileThatCannotBeCreatedIsNamedWithItsCause) {
    QDir().mkpath(dir_.filePath("folder.pdf"));
    struct Case {
        std::string pdf;
        std::string cause;
    };
    for (const Case& c :
         {Case{dir_.filePath("missing/labels.pdf").toStdString(), "No such file or directory"},
          Case{dir_.filePath("folder.pdf").toStdString(), "Is a directory"}}) {
        std::string errors;
        EXPECT_EQ(Run("SELECT * FROM addr", c.pdf, &errors), 1);
        EXPECT_EQ(errors, "parvell-cli: Cannot create file \"" + c.pdf + "\". " + c.cause + "\n");
    }
    EXPECT_FALSE(QFile::exists(dir_.filePath("missing")));
}

TEST_F(LabelsCommand, UsageErrors) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"labels", "--data", "x", "--builtin", "1"},
          std::vector<std::string>{"labels", "--pdf", "x.pdf", "--builtin", "1"},
          std::vector<std::string>{"labels", "--data", "x", "--pdf", "x.pdf"},
          std::vector<std::string>{"labels", "--data", "x", "--builtin", "1", "--pdf", "x.pdf",
                                   "--page"}}) {
        std::ostringstream out, err;
        EXPECT_EQ(cli::Dispatch(args, out, err), 2) << args.size();
    }
}

}  // namespace
}  // namespace parvell::testing
