// A second process for the sharing and crash tests. Commands:
//   append <table> <prefix> <count>  appends <count> journal records with IDs
//                                    <prefix>1..; prints each ID once posted
//   forever <table> <prefix>         the same without end (the crash test kills it)
//   hold <table> [exclusive]         opens the table, prints "open" (or
//                                    "error: <message>"), waits for stdin to close
//   increment <table> <count>        adds 1 to QUANTITA of the first record
//                                    <count> times: edit(), read, set, post()
//   churn <table> <prefix> <mode>    without end, printing each acknowledgement:
//                                    append: "A <id>" per append;
//                                    delete: also deletes the first live record
//                                    ("d <id>" before, "D <id>" after); pack: also packs ("P");
//                                    rebuild: removes the index first and opens
//                                    (rebuilding it, "O"), then appends
//   edit <table>                     edits the first record, prints "editing",
//                                    waits for stdin to close, then adds 1 to
//                                    its QUANTITA and posts
// Output is line by line and flushed, so the parent knows exactly which posts
// had returned.
#include "archive/dbase/cursor.h"
#include "platform/error.h"

#include <QDate>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using dbase::Cursor;

namespace {

int appendRecords(const char* table, const char* prefix, long count) {
    Cursor c(QString::fromLocal8Bit(table));
    c.open();
    for (long i = 1; count < 0 || i <= count; ++i) {
        const QString id = QString::fromLatin1(prefix) + QString::number(i);
        c.append();
        c.setText(QStringLiteral("ID"), id);
        c.setDate(QStringLiteral("DATA"), QDate(2024, 1, 1).addDays(i % 400));
        c.setNumber(QStringLiteral("QUANTITA"), double(i));
        c.post();
        std::printf("%s\n", id.toLatin1().constData());
        std::fflush(stdout);
    }
    c.close();
    return 0;
}

int hold(const char* table, bool exclusive) {
    Cursor c(QString::fromLocal8Bit(table));
    c.setExclusive(exclusive);
    try {
        c.open();
    } catch (const dbase::EngineError& e) {
        std::printf("error: %s\n", e.what());
        std::fflush(stdout);
        return 3;
    }
    std::printf("open\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
    }
    return 0;
}

void ack(const char* what, const QString& id = QString()) {
    std::printf("%s %s\n", what, id.toLatin1().constData());
    std::fflush(stdout);
}

int churn(const char* table, const char* prefix, const std::string& mode) {
    const QString path = QString::fromLocal8Bit(table);
    if (mode == "rebuild")
        std::remove(dbase::Table::productionIndexPath(path).toLocal8Bit().constData());
    Cursor c(path);
    c.open();
    if (mode == "rebuild") ack("O");
    for (long i = 1;; ++i) {
        const QString id = QString::fromLatin1(prefix) + QString::number(i);
        c.append();
        c.setText(QStringLiteral("ID"), id);
        c.setDate(QStringLiteral("DATA"), QDate(2024, 1, 1).addDays(i % 400));
        c.post();
        ack("A", id);
        if (mode == "append" || mode == "rebuild") continue;
        if (i % 2 == 0) {
            c.first();
            const QString gone = c.text(QStringLiteral("ID"));
            ack("d", gone);  // about to delete: after a kill here it may be either way
            c.deleteRecord();
            ack("D", gone);
        }
        if (mode == "pack" && i % 4 == 0) {
            c.close();
            {
                auto t = dbase::Table::open(path);
                try {
                    t->pack();
                } catch (const platform::Error& e) {
                    std::fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
                    return 1;
                }
            }
            ack("P");
            c.open();
        }
    }
}

int increment(const char* table, long count) {
    Cursor c(QString::fromLocal8Bit(table));
    c.open();
    for (long i = 1; i <= count; ++i) {
        c.first();
        c.edit();
        c.setNumber(QStringLiteral("QUANTITA"), c.number(QStringLiteral("QUANTITA")) + 1);
        c.post();
    }
    c.close();
    return 0;
}

int editAndWait(const char* table) {
    Cursor c(QString::fromLocal8Bit(table));
    c.open();
    c.first();
    c.edit();
    std::printf("editing\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
    }
    c.setNumber(QStringLiteral("QUANTITA"), c.number(QStringLiteral("QUANTITA")) + 1);
    c.post();
    c.close();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "append" && argc == 5)
            return appendRecords(argv[2], argv[3], std::atol(argv[4]));
        if (command == "forever" && argc == 4) return appendRecords(argv[2], argv[3], -1);
        if (command == "churn" && argc == 5) return churn(argv[2], argv[3], argv[4]);
        if (command == "increment" && argc == 4) return increment(argv[2], std::atol(argv[3]));
        if (command == "edit" && argc == 3) return editAndWait(argv[2]);
        if (command == "hold" && (argc == 3 || argc == 4))
            return hold(argv[2], argc == 4 && std::strcmp(argv[3], "exclusive") == 0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: table_helper append|forever|hold|increment|edit ...\n");
    return 2;
}
