// Parsing the command line before anything else starts.
#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>

namespace {

QString VersionText() {
    return QString("Quillbar %1.%2.%3 (build %4)")
        .arg(QB_VERSION_MAJOR)
        .arg(QB_VERSION_MINOR)
        .arg(QB_VERSION_PATCH)
        .arg(QB_BUILD_NUMBER);
}

} // namespace

TCommandLine ParseCommandLine(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription("A mail ticker: unread messages scroll by on a thin bar.");
    const QCommandLineOption help({"h", "help"}, "Show this help and end.");
    const QCommandLineOption version("version", "Show the version and end.");
    const QCommandLineOption serial(
        "no-pipelining", "Send POP3 commands one at a time even to servers that take them "
                         "ahead of the replies (for comparisons).");
    const QCommandLineOption stallLog(
        "stall-log", "Write the longest time the program left clicks unserved, in ms, to <file>.",
        "file");
    parser.addOptions({help, version, serial, stallLog});

    // The parser would name the program after the application object, which does not exist
    // yet: the usage line is written here.
    QString helpText = parser.helpText();
    helpText = "Usage: quillbar [options]" + helpText.mid(helpText.indexOf('\n'));
    TCommandLine line;
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "quillbar: %s\n%s", qPrintable(parser.errorText()),
                     qPrintable(helpText));
        line.Done = true;
        line.ExitCode = 2;
        return line;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        const QString text =
            parser.isSet(help) ? VersionText() + "\n" + helpText : VersionText() + "\n";
        std::fputs(qPrintable(text), stdout);
        line.Done = true;
        return line;
    }
    line.Pipelining = !parser.isSet(serial);
    line.StallLog = parser.value(stallLog);
    return line;
}
