// Helpers shared by the report tests: the shipped templates, and the output
// of the command-line tools (pdftotext, zbarimg, soffice) that read what we
// wrote.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <ostream>

// GoogleTest shows a QString as its text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace reports::test {

inline QString templatePath(const char* name) {
    return QStringLiteral(TASMERO_TEMPLATES "/") + QLatin1String(name);
}

struct ToolRun {
    bool finished = false;  // started, and ended by itself within the time allowed
    int exitCode = -1;
    QString out, err;
};

inline ToolRun runTool(const QString& program, const QStringList& args, int timeoutMs = 60000) {
    QProcess p;
    p.start(program, args);
    ToolRun r;
    r.finished = p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit;
    if (!r.finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = p.errorString() + u'\n' + QString::fromUtf8(p.readAllStandardError());
    return r;
}

inline QString run(const QString& program, const QStringList& args) { return runTool(program, args).out; }

}  // namespace reports::test
