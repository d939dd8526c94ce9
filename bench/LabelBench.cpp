// Label benchmark: pages per second for the label report of 30,000 records (1,000 pages) from
// the demo practice, generating preview pages and writing the PDF through parvell-cli labels,
// next to glabels-3-batch merging the same addresses into a 30-per-sheet Letter template when
// that program is installed. Prints figures; never fails on time.
//
// usage: label_bench --data PRACTICE/mwddf.kdd --cli PATH/parvell-cli [--work DIR]
// (make the practice with: parvell-demo DIR --patients 30000)

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
#include <string>

#include "app/cli/QueryCommands.h"
#include "data/DataSet.h"
#include "report/LabelReport.h"

using namespace parvell;

namespace {

const char* const kSql =
    "Select\r\n Trim(\"First Name\") +' '+ Trim( \"Last Name\") Name,\r\n \"Street 1\",\r\n \"Street 2\",\r\n"
    " Upper( Trim(\"City\") +', '+ Trim(\"State\") +' '+ Trim(\"Zip Code\")) CityLine\r\nFrom MWPAT\r\n"
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

// A glabels document: Letter sheet, 3 x 10 labels of 2.5 x 1 inch at the same place as ours,
// one text object of four merged lines.
void WriteGlabelsDocument(const QString& path, const QString& csv) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QTextStream out(&file);
    out << "<?xml version=\"1.0\"?>\n"
           "<Glabels-document xmlns=\"http://glabels.org/xmlns/3.0/\">\n"
           "  <Template brand=\"Bench\" part=\"30UP\" size=\"US-Letter\" description=\"Address labels\">\n"
           "    <Meta category=\"label\"/>\n"
           "    <Label-rectangle id=\"0\" width=\"2.5in\" height=\"1in\" round=\"0in\" x_waste=\"0in\" y_waste=\"0in\">\n"
           "      <Markup-margin size=\"0.0625in\"/>\n"
           "      <Layout nx=\"3\" ny=\"10\" x0=\"0.25in\" y0=\"0.5in\" dx=\"2.75in\" dy=\"1in\"/>\n"
           "    </Label-rectangle>\n"
           "  </Template>\n"
           "  <Objects id=\"0\" rotate=\"False\">\n"
           "    <Object-text x=\"0.1667in\" y=\"0.25in\" w=\"2.18in\" h=\"0.7in\" justify=\"Left\" valign=\"Top\" auto_shrink=\"False\">\n"
           "      <Span color=\"0x000000ff\" font_family=\"Liberation Sans\" font_size=\"10\" font_weight=\"Regular\" "
           "font_italic=\"False\" line_spacing=\"1\">${Name}\n${Street1}\n${Street2}\n${CityLine}</Span>\n"
           "    </Object-text>\n"
           "  </Objects>\n"
           "  <Merge type=\"Text/Comma/Line1Keys\" src=\""
        << csv << "\"/>\n</Glabels-document>\n";
}

double Seconds(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e9; }

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QString data, cli, work = QDir::temp().filePath(QStringLiteral("parvell-label-bench"));
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--data") data = args[i + 1];
        if (args[i] == "--cli") cli = args[i + 1];
        if (args[i] == "--work") work = args[i + 1];
    }
    if (data.isEmpty() || cli.isEmpty()) {
        std::fprintf(stderr, "usage: label_bench --data PRACTICE/mwddf.kdd --cli PATH/parvell-cli [--work DIR]\n");
        return 2;
    }
    QDir().mkpath(work);

    cli::TQueryComponents components("user", "qzmvtrlk");
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
    std::printf("%-44s %8.3f s %9.1f pages/s\n", "preview pages (in process)", previewSeconds, pages / previewSeconds);
    std::printf("  page store: %.1f MB of pictures, %lld bytes in memory (limit %lld), in temporary file: %s\n",
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
    process.start(cli, {"labels", "--data", data, "--sql", sqlFile, "--pdf", QDir(work).filePath("parvell.pdf")});
    process.waitForFinished(-1);
    const double pdfSeconds = Seconds(timer);
    std::printf("%-44s %8.3f s %9.1f pages/s  (exit %d)\n", "PDF through parvell-cli labels", pdfSeconds,
                pages / pdfSeconds, process.exitCode());

    const QString glabels = QStandardPaths::findExecutable(QStringLiteral("glabels-3-batch"));
    if (glabels.isEmpty()) {
        std::printf("glabels-3-batch: not installed, no comparison\n");
        return 0;
    }
    const QString document = QDir(work).filePath(QStringLiteral("labels.glabels"));
    WriteGlabelsDocument(document, csv);
    timer.restart();
    process.start(glabels, {"-o", QDir(work).filePath("glabels.pdf"), document});
    process.waitForFinished(-1);
    const double glabelsSeconds = Seconds(timer);
    std::printf("%-44s %8.3f s %9.1f pages/s  (exit %d)\n", "glabels-3-batch, same addresses from CSV",
                glabelsSeconds, pages / glabelsSeconds, process.exitCode());
    // A ratio only when the comparison program wrote the same number of pages.
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {QDir(work).filePath("glabels.pdf")});
    info.waitForFinished(-1);
    const QString text = QString::fromUtf8(info.readAllStandardOutput());
    const qsizetype at = text.indexOf(QStringLiteral("Pages:"));
    const int glabelsPages = at < 0 ? 0 : text.mid(at + 6, text.indexOf(QLatin1Char('\n'), at) - at - 6).trimmed().toInt();
    if (glabelsPages != pages) {
        std::printf("glabels-3-batch wrote %d pages, not %d: the merge did not run as intended, no ratio\n",
                    glabelsPages, pages);
        return 0;
    }
    std::printf("ratio parvell-cli labels / glabels-3-batch (pages per second): %.2f\n",
                glabelsSeconds / pdfSeconds);
    std::printf("ratio preview pages / glabels-3-batch (pages per second):      %.2f\n",
                glabelsSeconds / previewSeconds);
    return 0;
}
