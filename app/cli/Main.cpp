// parvell-cli: the command-line tool. Its main hands the arguments to the dispatcher and makes
// sure that what the command printed reached standard output.

#include <QString>
#include <QtGlobal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/Commands.h"

namespace {

// Qt's own warnings (a missing runtime folder, a font it cannot find) reach standard error with
// the tool's name in front, like every other message.
void QtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    std::cerr << "parvell-cli: " << message.toStdString() << std::endl;
    if (type == QtFatalMsg) std::abort();
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(&QtMessage);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int status = parvell::cli::Dispatch(args, std::cout, std::cerr);
    // A result written into a full disk or a closed pipe is a failure, not a success.
    std::cout.flush();
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout) {
        const int error = errno;
        std::cerr << "parvell-cli: cannot write to standard output"
                  << (error ? std::string(": ") + std::strerror(error) : std::string()) << '\n';
        return 1;
    }
    return status;
}
