#include "app/preview/VRPreviewDialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

#include "app/preview/AppTitle.h"

namespace parvell {

namespace {

// The caption of a box without one of its own: the application title.
QString ApplicationTitle() {
    return ApplicationTitleFor(QCoreApplication::applicationFilePath());
}

class QtPreviewDialogs : public TVRPreviewDialogs {
public:
    std::optional<QString> InputText(QWidget* parent, const QString& title, const QString& prompt,
                                     const QString& initial) override {
        bool ok = false;
        const QString text =
            QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, initial, &ok);
        if (!ok) return std::nullopt;
        return text;
    }
    QString SaveFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& defaultSuffix) override {
        QFileDialog dialog(parent, title, QString(), filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(defaultSuffix);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().first();
    }
    QString OpenFileName(QWidget* parent, const QString& title, const QString& filter) override {
        QFileDialog dialog(parent, title, QString(), filter);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);  // a missing file is reported by the caller
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().first();
    }
    void Message(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok, parent);
        box.exec();
    }
    void Error(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, parent);
        box.exec();
    }
    bool PrintSetup(QWidget* parent, QPrinter& printer, int minPage, int maxPage) override {
        QPrintDialog dialog(&printer, parent);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
        dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
        dialog.setMinMax(minPage, maxPage);
        return dialog.exec() == QDialog::Accepted;
    }
};

QtPreviewDialogs gQtDialogs;
TVRPreviewDialogs* gDialogs = nullptr;

}  // namespace

TVRPreviewDialogs& PreviewDialogs() {
    return gDialogs ? *gDialogs : gQtDialogs;
}

TVRPreviewDialogs* SetPreviewDialogs(TVRPreviewDialogs* dialogs) {
    TVRPreviewDialogs* previous = gDialogs;
    gDialogs = dialogs;
    return previous;
}

}  // namespace parvell
