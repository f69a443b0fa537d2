#include "platform/ini_file.h"

#include "platform/error.h"
#include "support/file_size_limit.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>


using platform::IniFile;

namespace {

class IniFileTest : public ::testing::Test {
  protected:
    QString path(const char* name = "tasmerocfg.ini") const {
        return dir_.filePath(QString::fromLatin1(name));
    }
    void writeBytes(const QByteArray& bytes) const {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readBytes() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    IniFile loaded() const {
        IniFile ini(path());
        ini.load();
        return ini;
    }

    QTemporaryDir dir_;
};

TEST_F(IniFileTest, ReadsWithTheProfileRules) {
    writeBytes(
        "; impostazioni\r\n"
        "[Tasmero]\r\n"
        "Codice_Text=  mario  \r\n"
        "pwpw_Caption=\"abc\"\r\n"
        "Quoted=' x y '\r\n"
        "Doubled=\"\"abc\"\"\r\n"
        "Mixed=\"abc'\r\n"
        "Inner=a\"b\"c\r\n"
        "Lone=\"\r\n"
        "Empty=\r\n"
        "Equals=a=b\r\n"
        "Nome=Caff\xE8 \x80\r\n"
        ";Commented=no\r\n"
        "  [ Other ]  \n"
        "  Key = value \r"
        "Last=no line end");
    const IniFile ini = loaded();
    const struct {
        const char* section;
        const char* key;
        QString expected;
    } cases[] = {
        {"tasmero", "CODICE_TEXT", QStringLiteral("mario")},
        {"Tasmero", "pwpw_caption", QStringLiteral("abc")},
        {"Tasmero", "Quoted", QStringLiteral(" x y ")},
        {"Tasmero", "Doubled", QStringLiteral("\"abc\"")},
        {"Tasmero", "Mixed", QStringLiteral("\"abc'")},
        {"Tasmero", "Inner", QStringLiteral("a\"b\"c")},
        {"Tasmero", "Lone", QStringLiteral("\"")},
        {"Tasmero", "Empty", QString()},
        {"Tasmero", "Equals", QStringLiteral("a=b")},
        {"Tasmero", "Nome", QStringLiteral("Caffè €")},
        {"Tasmero", "Commented", QStringLiteral("default")},
        {"Tasmero", "Key", QStringLiteral("default")},
        {"OTHER", "key", QStringLiteral("value")},
        {"Other", "Last", QStringLiteral("no line end")},
        {"Missing", "Key", QStringLiteral("default")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(ini.readString(QString::fromLatin1(c.section), QString::fromLatin1(c.key),
                                 QStringLiteral("default")),
                  c.expected);
    }
    EXPECT_TRUE(ini.hasKey(QStringLiteral("tasmero"), QStringLiteral("empty")));
    EXPECT_FALSE(ini.hasKey(QStringLiteral("tasmero"), QStringLiteral("commented")));
}

TEST_F(IniFileTest, WrittenValuesReadBack) {
    const struct {
        QString value;
        QString expected;  // what reading gives: the value trimmed
        QByteArray line;   // the line on disk
    } cases[] = {
        {QStringLiteral("abc"), QStringLiteral("abc"), "V=abc"},
        {QStringLiteral("  abc  "), QStringLiteral("abc"), "V=abc"},
        {QStringLiteral("\"abc\""), QStringLiteral("\"abc\""), "V=\"\"abc\"\""},
        {QStringLiteral("'abc'"), QStringLiteral("'abc'"), "V=\"'abc'\""},
        {QStringLiteral(" \"\" "), QStringLiteral("\"\""), "V=\"\"\"\""},
        {QStringLiteral("\"abc'"), QStringLiteral("\"abc'"), "V=\"abc'"},
        {QStringLiteral("\""), QStringLiteral("\""), "V=\""},
        {QString(), QString(), "V="},
        {QStringLiteral("a=b;c"), QStringLiteral("a=b;c"), "V=a=b;c"},
        {QStringLiteral("Caffè €"), QStringLiteral("Caffè €"), "V=Caff\xE8 \x80"},
        {QStringLiteral("bWFyaW8="), QStringLiteral("bWFyaW8="), "V=bWFyaW8="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.toStdString());
        IniFile ini(path());
        ini.writeString(QStringLiteral("Tasmero"), QStringLiteral("V"), c.value);
        ini.save();
        EXPECT_EQ(readBytes(), "[Tasmero]\r\n" + c.line + "\r\n");
        EXPECT_EQ(loaded().readString(QStringLiteral("Tasmero"), QStringLiteral("V")), c.expected);
    }
}

TEST_F(IniFileTest, RewriteKeepsWhatItDoesNotTouch) {
    writeBytes(
        "; written by hand\n"
        "[tasmero]\n"
        "CODICE_TEXT=old\n"
        "; keep me\n"
        "FormVersion=0\n"
        "\n"
        "[Unknown]\n"
        "Anything=goes\n");
    IniFile ini = loaded();
    ini.writeString(QStringLiteral("Tasmero"), QStringLiteral("Codice_Text"),
                    QStringLiteral("new"));
    ini.writeString(QStringLiteral("Tasmero"), QStringLiteral("pwpw_Caption"), QStringLiteral("x"));
    ini.writeString(QStringLiteral("Login Dialog"), QStringLiteral("Last Logged User"),
                    QStringLiteral("mario"));
    ini.save();
    EXPECT_EQ(readBytes(),
              "; written by hand\r\n"
              "[tasmero]\r\n"
              "CODICE_TEXT=new\r\n"
              "; keep me\r\n"
              "FormVersion=0\r\n"
              "pwpw_Caption=x\r\n"
              "\r\n"
              "[Unknown]\r\n"
              "Anything=goes\r\n"
              "\r\n"
              "[Login Dialog]\r\n"
              "Last Logged User=mario\r\n");
}

TEST_F(IniFileTest, Erase) {
    writeBytes("[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
    IniFile ini = loaded();
    ini.eraseKey(QStringLiteral("a"), QStringLiteral("X"));
    ini.eraseSection(QStringLiteral("b"));
    ini.eraseKey(QStringLiteral("missing"), QStringLiteral("x"));
    ini.save();
    EXPECT_EQ(readBytes(), "[A]\r\ny=2\r\n");
}

TEST_F(IniFileTest, RefusesWhatTheFileCannotHold) {
    writeBytes("[Tasmero]\r\nCodice_Text=mario\r\n");
    IniFile ini = loaded();
    const QString s = QStringLiteral("Tasmero");
    EXPECT_THROW(ini.writeString(s, QStringLiteral("Codice_Text"), QStringLiteral("ma\u4E2Dio")),
                 platform::EncodingError);
    EXPECT_THROW(ini.writeString(s, QStringLiteral("K\u0100"), QStringLiteral("v")),
                 platform::EncodingError);
    EXPECT_THROW(ini.writeString(s, QStringLiteral("Codice_Text"), QStringLiteral("a\r\nb=c")),
                 platform::Error);
    for (const char* key : {"", " ", "a=b", "[x", ";x", "a\nb"}) {
        SCOPED_TRACE(key);
        EXPECT_THROW(ini.writeString(s, QString::fromLatin1(key), QStringLiteral("v")),
                     platform::Error);
    }
    EXPECT_THROW(ini.writeString(QStringLiteral("a]b"), QStringLiteral("k"), QStringLiteral("v")),
                 platform::Error);
    ini.save();
    EXPECT_EQ(readBytes(), "[Tasmero]\r\nCodice_Text=mario\r\n");
}

TEST_F(IniFileTest, MissingFileIsAnEmptyProfile) {
    IniFile ini = loaded();
    EXPECT_EQ(ini.readString(QStringLiteral("Tasmero"), QStringLiteral("Codice_Text"),
                             QStringLiteral("default")),
              QStringLiteral("default"));
    EXPECT_FALSE(QFile::exists(path()));
    ini.save();
    EXPECT_EQ(readBytes(), QByteArray());
    EXPECT_TRUE(QFile::exists(path()));
}

TEST_F(IniFileTest, ErrorsNameTheFile) {
    const QString unwritable = dir_.filePath(QStringLiteral("no such folder/tasmerocfg.ini"));
    IniFile ini(unwritable);
    ini.writeString(QStringLiteral("Tasmero"), QStringLiteral("Codice_Text"), QStringLiteral("x"));
    try {
        ini.save();
        FAIL();
    } catch (const platform::FileError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unable to write to ") + unwritable);
    }

    // A folder where the file should be can be neither read nor written.
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("taken.ini")));
    IniFile taken(path("taken.ini"));
    try {
        taken.load();
        FAIL();
    } catch (const platform::FileError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unable to read ") + path("taken.ini"));
    }
    EXPECT_THROW(taken.save(), platform::FileError);
}

// A save that cannot finish (no temporary file can be made beside the
// profile, or the disk refuses the bytes part-way) says so and leaves every
// key of the old file where it was: a profile rewritten in place and cut
// short would bring back the built-in login.
TEST_F(IniFileTest, FailedSaveLeavesTheOldFileWhole) {
    const QByteArray old = "[Tasmero]\r\nCodice_Text=mario\r\npwpw_Caption=oYuKndyaUg==\r\n";
    // The longest name the folder takes: "<name>.XXXXXX" beside it is too long.
    const QString longName = QString(250, QLatin1Char('c')) + QStringLiteral(".ini");
    for (const bool noTemporary : {true, false}) {
        SCOPED_TRACE(noTemporary ? "no temporary file" : "write cut short");
        QTemporaryDir dir;
        const QString file =
            dir.filePath(noTemporary ? longName : QStringLiteral("tasmerocfg.ini"));
        {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        IniFile ini(file);
        ini.load();
        ini.writeString(QStringLiteral("Tasmero"), QStringLiteral("NormPos"),
                        QString(200, QLatin1Char('9')));
        try {
            test::FileSizeLimit limit(16);
            ini.save();
            ADD_FAILURE() << "saved";
        } catch (const platform::FileError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Unable to write to ") + file);
        }
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QFileInfo(file).fileName()});
    }
}

}  // namespace
