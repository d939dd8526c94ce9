#include "app/shell/QtDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "app/shell/Application.h"
#include "app/text/Cp1252Text.h"

namespace parvell {

namespace {

void ShowOkBox(QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    // Texts may carry column names and values from tables: shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

}  // namespace

bool QtDialogs::Confirm(const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void QtDialogs::Information(const QString& text) {
    ShowOkBox(QMessageBox::Information, QStringLiteral("Information"), text);
}

void QtDialogs::Message(const QString& text) {
    ShowOkBox(QMessageBox::NoIcon, ApplicationTitle(), text);
}

void QtDialogs::Error(const QString& text) {
    ShowOkBox(QMessageBox::Critical, ApplicationTitle(), text);
}

QStringList NameFiltersFor(const QString& filter) {
    QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
        }
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

QString ChosenFilePath(const QString& selected, const QString& folder) {
    if (!selected.contains(QLatin1Char('\\'))) return selected;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    const QString typed =
        FileSystemPath(selected.startsWith(prefix) ? selected.mid(prefix.size()) : selected);
    return QDir::cleanPath(QDir::isAbsolutePath(typed) ? typed : prefix + typed);
}

bool QtDialogs::OpenFileName(TOpenDialog& dialog) {
    QFileDialog fileDialog(QApplication::activeWindow(), QStringLiteral("Open"));
    fileDialog.setAcceptMode(QFileDialog::AcceptOpen);
    fileDialog.setFileMode(QFileDialog::AnyFile);
    fileDialog.setOption(QFileDialog::ReadOnly, false);
    fileDialog.setSizeGripEnabled(true);
    QStringList filters = NameFiltersFor(dialog.Filter);
    fileDialog.setNameFilters(filters);
    if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size()) {
        fileDialog.selectNameFilter(filters[dialog.FilterIndex - 1]);
    }
    // A kept name wins over the initial folder, as the dialog offers the last choice again.
    if (!dialog.FileName.isEmpty()) {
        fileDialog.selectFile(FileSystemPath(dialog.FileName));
    } else if (!dialog.InitialDir.isEmpty()) {
        fileDialog.setDirectory(FileSystemPath(dialog.InitialDir));
    }
    if (fileDialog.exec() != QDialog::Accepted) return false;
    QStringList chosen = fileDialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    dialog.FileName = ChosenFilePath(chosen.first(), fileDialog.directory().absolutePath());
    qsizetype index = filters.indexOf(fileDialog.selectedNameFilter());
    if (index >= 0) dialog.FilterIndex = static_cast<int>(index) + 1;
    return true;
}

}  // namespace parvell
