// Helpers shared by the report tests: the shipped templates, and the output
// of the command-line tools (pdftotext, zbarimg) that read what we wrote.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace reports::test {

inline QString templatePath(const char* name) {
    return QStringLiteral(TASMERO_TEMPLATES "/") + QLatin1String(name);
}

inline QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace reports::test
