// Label benchmark: pages per second for the label report of 30,000 records (1,000 pages) from
// the demo practice, generating preview pages and writing the PDF through parvell-cli labels,
// next to glabels-3-batch merging the same addresses into a 30-per-sheet Letter template when
// that program is installed. Prints figures; never fails on time.
//
// usage: label_bench --data PRACTICE/mwddf.kdd --cli PATH/parvell-cli [--work DIR]
// [--glabels-seconds N] (make the practice with: parvell-demo DIR --patients 30000)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "app/cli/QueryCommands.h"
#include "data/DataSet.h"
#include "report/LabelReport.h"
#include "report/print/VRSystemPrinter.h"

using namespace parvell;

namespace {

const char* const kSql =
    "Select\r\n Trim(\"First Name\") +' '+ Trim( \"Last Name\") Name,\r\n \"Street 1\",\r\n "
    "\"Street 2\",\r\n"
    " Upper( Trim(\"City\") +', '+ Trim(\"State\") +' '+ Trim(\"Zip Code\")) CityLine\r\nFrom "
    "MWPAT\r\n"
    "Order By \"Last Name\"\r\n";

long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

QString CsvField(const std::string& text) {
    QString value = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    value.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

// A glabels document on the program's own 30-per-sheet Letter address template (Avery 5160: 3 x 10
// labels of 2.625 x 1 inch), one text object of four merged lines. The template is written out in
// full, as the document format requires, with the geometry of the installed template file. Merge
// fields are <Field name=".."/> elements and line breaks <NL/> ("${Name}" is only how the editor
// shows a field; in the file it would be literal text). Every object needs its affine matrix
// a0..a5: without it the matrix is all zeros, cairo goes into an invalid-matrix error state at the
// first object and every page comes out blank.
void WriteGlabelsDocument(const QString& path, const QString& csv) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QTextStream out(&file);
    out << "<?xml version=\"1.0\"?>\n"
           "<Glabels-document xmlns=\"http://glabels.org/xmlns/3.0/\">\n"
           "  <Template brand=\"Avery\" part=\"5160\" size=\"US-Letter\" description=\"Address "
           "Labels\">\n"
           "    <Meta category=\"label\"/>\n"
           "    <Meta category=\"mail\"/>\n"
           "    <Label-rectangle id=\"0\" width=\"2.625in\" height=\"1in\" round=\"0.0625in\" "
           "x_waste=\"0in\" "
           "y_waste=\"0in\">\n"
           "      <Markup-margin size=\"0.0625in\"/>\n"
           "      <Layout nx=\"3\" ny=\"10\" x0=\"0.15625in\" y0=\"0.5in\" dx=\"2.78125in\" "
           "dy=\"1in\"/>\n"
           "    </Label-rectangle>\n"
           "  </Template>\n"
           "  <Objects id=\"0\" rotate=\"False\">\n"
           "    <Object-text x=\"0.1667in\" y=\"0.15in\" w=\"2.3in\" h=\"0.8in\" justify=\"Left\" "
           "valign=\"Top\" "
           "auto_shrink=\"False\" a0=\"1\" a1=\"0\" a2=\"0\" a3=\"1\" a4=\"0\" a5=\"0\">\n"
           "      <Span color=\"0x000000ff\" font_family=\"Liberation Sans\" font_size=\"10\" "
           "font_weight=\"Regular\" "
           "font_italic=\"False\" line_spacing=\"1\"><Field name=\"Name\"/><NL/><Field "
           "name=\"Street1\"/><NL/>"
           "<Field name=\"Street2\"/><NL/><Field name=\"CityLine\"/></Span>\n"
           "    </Object-text>\n"
           "  </Objects>\n"
           "  <Merge type=\"Text/Comma/Line1Keys\" src=\""
        << csv.toHtmlEscaped() << "\"/>\n</Glabels-document>\n";
}

double Seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    InstallSystemPrinters();  // the preview composes for the chosen printer, as in the window
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QString data, cli, work = QDir::temp().filePath(QStringLiteral("parvell-label-bench"));
    int glabelsLimit = 1200;  // seconds the comparison program may take before it is stopped
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--data") data = args[i + 1];
        if (args[i] == "--cli") cli = args[i + 1];
        if (args[i] == "--work") work = args[i + 1];
        if (args[i] == "--glabels-seconds") glabelsLimit = args[i + 1].toInt();
    }
    if (data.isEmpty() || cli.isEmpty()) {
        std::fprintf(
            stderr,
            "usage: label_bench --data PRACTICE/mwddf.kdd --cli PATH/parvell-cli [--work DIR]"
            " [--glabels-seconds N]\n");
        return 2;
    }
    QDir().mkpath(work);

    cli::TQueryComponents components(kEngineUsername, kEnginePassword, std::cerr);
    components.Prepare(data.toStdString(), {kSql});
    TKdbQuery& query = components.Query();
    query.SetActive(true);
    const int records = query.NumRecords();

    // Preview pages, as the window's run makes them (messages dispatched before each record).
    TLabelReport labels(&query);
    QElapsedTimer timer;
    timer.start();
    labels.VellRep1.Preview();
    const double previewSeconds = Seconds(timer);
    const TVRPageStore& store = labels.VellRep1.PreviewOutput()->Pages();
    const int pages = store.Count();
    std::printf("records %d, pages %d\n", records, pages);
    std::printf("%-44s %8.3f s %9.1f pages/s\n", "preview pages (in process)", previewSeconds,
                pages / previewSeconds);
    std::printf(
        "  page store: %.1f MB of pictures, %lld bytes in memory (limit %lld), in temporary file: "
        "%s\n",
        static_cast<double>(store.TotalBytes()) / 1e6, static_cast<long long>(store.MemoryBytes()),
        static_cast<long long>(store.MemoryLimit()), store.InFile() ? "yes" : "no");
    std::printf("  peak resident memory of this process: %ld kB\n", PeakKilobytes());

    // The addresses as CSV for the comparison program.
    const QString csv = QDir(work).filePath(QStringLiteral("addresses.csv"));
    {
        QFile file(csv);
        file.open(QIODevice::WriteOnly);
        QTextStream out(&file);
        out << "Name,Street1,Street2,CityLine\n";
        for (query.MoveFirst(); !query.AtEnd(); query.MoveNext()) {
            out << CsvField(query.FieldNamed("Name").ValueAsText()) << ','
                << CsvField(query.FieldNamed("Street 1").ValueAsText()) << ','
                << CsvField(query.FieldNamed("Street 2").ValueAsText()) << ','
                << CsvField(query.FieldNamed("CityLine").ValueAsText()) << '\n';
        }
    }
    query.SetActive(false);

    const QString sqlFile = QDir(work).filePath(QStringLiteral("labels.sql"));
    {
        QFile file(sqlFile);
        file.open(QIODevice::WriteOnly);
        file.write(kSql);
    }
    QProcess process;
    timer.restart();
    process.start(cli, {"labels", "--data", data, "--sql", sqlFile, "--pdf",
                        QDir(work).filePath("parvell.pdf")});
    process.waitForFinished(-1);
    const double pdfSeconds = Seconds(timer);
    std::printf("%-44s %8.3f s %9.1f pages/s  (exit %d)\n", "PDF through parvell-cli labels",
                pdfSeconds, pages / pdfSeconds, process.exitCode());

    const QString glabels = QStandardPaths::findExecutable(QStringLiteral("glabels-3-batch"));
    if (glabels.isEmpty()) {
        std::printf("glabels-3-batch: not installed, no comparison\n");
        return 0;
    }
    const QString document = QDir(work).filePath(QStringLiteral("labels.glabels"));
    WriteGlabelsDocument(document, csv);
    timer.restart();
    QFile::remove(QDir(work).filePath("glabels.pdf"));
    process.start(glabels, {"-o", QDir(work).filePath("glabels.pdf"), document});
    if (!process.waitForFinished(glabelsLimit * 1000)) {
        process.kill();
        process.waitForFinished(-1);
        std::printf("glabels-3-batch did not finish within %d s (stopped), no ratio\n",
                    glabelsLimit);
        return 0;
    }
    const double glabelsSeconds = Seconds(timer);
    std::printf("%-44s %8.3f s %9.1f pages/s  (exit %d)\n",
                "glabels-3-batch, same addresses from CSV", glabelsSeconds, pages / glabelsSeconds,
                process.exitCode());
    // A ratio only when the comparison program wrote the same number of pages.
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {QDir(work).filePath("glabels.pdf")});
    info.waitForFinished(-1);
    const QString text = QString::fromUtf8(info.readAllStandardOutput());
    const qsizetype at = text.indexOf(QStringLiteral("Pages:"));
    const int glabelsPages =
        at < 0 ? 0
               : text.mid(at + 6, text.indexOf(QLatin1Char('\n'), at) - at - 6).trimmed().toInt();
    if (glabelsPages != pages) {
        std::printf(
            "glabels-3-batch wrote %d pages, not %d: the merge did not run as intended, no ratio\n",
            glabelsPages, pages);
        return 0;
    }
    std::printf("ratio parvell-cli labels / glabels-3-batch (pages per second): %.2f\n",
                glabelsSeconds / pdfSeconds);
    std::printf("ratio preview pages / glabels-3-batch (pages per second):      %.2f\n",
                glabelsSeconds / previewSeconds);
    return 0;
}
