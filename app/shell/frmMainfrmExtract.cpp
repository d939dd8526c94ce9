// The extraction run of the main window and its two writers. The run decides where the file
// goes, protects an existing file behind a question, shows the progress window and hands the open
// query to the writer the layout choice selects; the writers themselves are the GUI-free ones of
// extract/, given the window's live choices through TWindowExtractCallbacks.

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "app/shell/ActionScope.h"
#include "app/shell/Dialogs.h"
#include "app/shell/Forms.h"
#include "app/shell/Unit3.h"
#include "app/shell/frmMainfrm.h"
#include "app/text/Cp1252Text.h"
#include "common/Exceptions.h"
#include "extract/Extract.h"
#include "extract/Progress.h"

namespace parvell {
namespace {

// The window's answers to a writer: the record-number option and the layout choice read anew
// for every line, a message box per unsupported column, and the progress window's step.
class TWindowExtractCallbacks : public TExtractCallbacks {
public:
    explicit TWindowExtractCallbacks(TForm1& form) : form_(form) {}

    bool HeaderRecordNumber() override { return form_.CheckBox2->isChecked(); }
    bool LineRecordNumber() override {
        return form_.CheckBox2->isChecked() && form_.RadioGroup1->ItemIndex() == 2;
    }
    void UnsupportedColumn(const std::string& fieldName) override {
        AppDialogs().Message(QStringFromCp1252(fieldName));
    }
    bool RecordWritten() override {
        if (Form3) Form3->ProgressStep();
        return true;
    }

private:
    TForm1& form_;
};

// Whether the name in the file-name box climbs out of the Export folder through a ".." part
// ("/" and "\" both separate parts). Such a name is refused rather than followed.
bool LeavesExportFolder(const QString& fileName) {
    const QStringList parts =
        QString(fileName).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    return parts.contains(QStringLiteral(".."));
}

// The path of Label3 as the file system knows it.
std::string ExtractFilePath(const TLabel& label) {
    return QFile::encodeName(FileSystemPath(label.Caption())).toStdString();
}

}  // namespace

void TForm1::ExtractSQL() {
    TActionScope scope(*this);
    if (!scope.Entered()) return;

    // Preparation, outside the protected part.
    bool goAhead = true;
    EnableActionButtons(false);
    QCoreApplication::processEvents();
    KdbCPath->SetIsConnected(false);
    KdbCPath->SetConnectPath(Cp1252FromQString(Edit1->text()));
    AssignEditorLines();

    // The closing sequence, run however the protected part ends; on failure its own errors
    // give way to the first one.
    const auto closing = [this, &goAhead] {
        struct EnableButtons {
            TForm1& form;
            ~EnableButtons() { form.EnableActionButtons(true); }
        } enableButtons{*this};
        if (goAhead) {
            Label7->SetCaption(QStringLiteral("Status: Query finished."));
            QCoreApplication::processEvents();
            if (Form3) HideProgressWindow(*Form3);
            QCoreApplication::processEvents();
            AppDialogs().Information(QStringLiteral("Done."));
            KdbTable1->SetActive(false);
        }
    };

    try {
        Label7->SetCaption(QStringLiteral("Status: Query running."));
        QCoreApplication::processEvents();
        KdbTable1->SetActive(true);
        const QString fileName = DataExtract->text();
        // The output folder: one level is created when missing; the result is not checked, a
        // folder that could not be made shows as the writer's failure to create the file.
        const QString folder = QStringFromCp1252(PracticeFolder) + QStringLiteral("Export");
        const QString folderOnDisk = FileSystemPath(folder);
        if (!QDir(folderOnDisk).exists()) QDir().mkdir(folderOnDisk);
        Label3->SetCaption(folder + QStringLiteral("\\") + fileName);
        // Checked before the overwrite question, so no file outside the folder is deleted either.
        if (LeavesExportFolder(fileName)) throw EInOutError(kIoInvalidFilename);

        if (FileExists(FileSystemPath(Label3->Caption()))) {
            if (AppDialogs().Confirm(QStringLiteral(
                    "The export file already exists. Do you wish to overwrite it?"))) {
                if (!QFile::remove(FileSystemPath(Label3->Caption()))) {
                    AppDialogs().Message(QStringLiteral("Unable to delete previous file."));
                    goAhead = false;
                }
            } else {
                AppDialogs().Message(QStringLiteral(
                    "You will have to choose another filename in order to continue."));
                goAhead = false;
            }
        }

        if (goAhead && Form3) {
            Form3->SetPosition(0);
            Form3->show();
            Form3->SetMax(KdbTable1->NumRecords());
            Form3->setWindowTitle(QString::fromLatin1(kExtractionProgressCaption));
            QCoreApplication::processEvents();
        }
        if (goAhead) {
            switch (RadioGroup1->ItemIndex()) {
                case 0:
                    ExtractCommaDelimited();
                    break;
                case 1:
                    ExtractFixedLength(false);
                    break;
                case 2:
                    ExtractFixedLength(true);
                    break;
                default:
                    break;
            }
        }
    } catch (...) {
        try {
            closing();
        } catch (...) {
            // The run's failure is the one reported.
        }
        throw;
    }
    closing();
}

void TForm1::ExtractCommaDelimited() {
    TWindowExtractCallbacks callbacks(*this);
    const TExtractOptions options{TExtractLayout::CommaDelimited, CheckBox1->isChecked()};
    ExtractToFile(*KdbTable1, ExtractFilePath(*Label3), options, callbacks);
}

void TForm1::ExtractFixedLength(bool TabDelimited) {
    TWindowExtractCallbacks callbacks(*this);
    const TExtractOptions options{
        TabDelimited ? TExtractLayout::TabDelimited : TExtractLayout::FixedLength,
        CheckBox1->isChecked()};
    ExtractToFile(*KdbTable1, ExtractFilePath(*Label3), options, callbacks);
}

int32_t TForm1::GetFieldTypeLength(TFieldType DataType) const {
    return parvell::GetFieldTypeLength(DataType);
}

}  // namespace parvell
