#include "maintenance/settings_store.h"

#include "maintenance/cipher.h"
#include "platform/error.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using maintenance::SettingsStore;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

class SettingsStoreTest : public ::testing::Test {
  protected:
    QString folder() const { return dir_.path() + QLatin1Char('/'); }
    QString file() const { return dir_.filePath(QStringLiteral("tasmerocfg.ini")); }
    void writeFile(const QByteArray& bytes) const {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray fileBytes() const {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    SettingsStore store() const {
        SettingsStore s;
        s.setFolder(folder());
        return s;
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsStoreTest, MissingFileOrKeysKeepTheHeldValues) {
    SettingsStore s = store();
    EXPECT_EQ(s.path(), file());
    s.read();  // no file: the built-in defaults stay
    EXPECT_EQ(s.userName(), maintenance::kDefaultUserName);
    EXPECT_EQ(s.storedPassword(), maintenance::kDefaultStoredPassword);

    s.setStoredPassword(QStringLiteral("held"));
    writeFile("[Tasmero]\r\nCodice_Text=mario\r\n[Other]\r\npwpw_Caption=elsewhere\r\n");
    s.read();
    EXPECT_EQ(s.userName(), QStringLiteral("mario"));
    EXPECT_EQ(s.storedPassword(), QStringLiteral("held"));

    writeFile("[TASMERO]\r\ncodice_text=\r\n");  // present but empty replaces
    s.read();
    EXPECT_EQ(s.userName(), QString());
}

TEST_F(SettingsStoreTest, ValuesGoThroughTheProfileRules) {
    writeFile("; tenere\r\n[Tasmero]\r\nExtra=kept\r\n");
    const struct {
        QString held;
        QString readBack;
        QByteArray line;
    } cases[] = {
        {QStringLiteral("  mario  "), QStringLiteral("mario"), "Codice_Text=mario\r\n"},
        {QStringLiteral("\"q\""), QStringLiteral("\"q\""), "Codice_Text=\"\"q\"\"\r\n"},
        {QStringLiteral("'s'"), QStringLiteral("'s'"), "Codice_Text=\"'s'\"\r\n"},
        {QStringLiteral("Caff\u00e8"), QStringLiteral("Caff\u00e8"), "Codice_Text=Caff\xe8\r\n"},
    };
    for (const auto& c : cases) {
        SettingsStore s = store();
        s.setUserName(c.held);
        s.setStoredPassword(QStringLiteral("oYuKndyaUg=="));
        s.write();
        const QByteArray bytes = fileBytes();
        EXPECT_TRUE(bytes.contains(c.line)) << bytes.toStdString();
        EXPECT_TRUE(bytes.startsWith("; tenere\r\n[Tasmero]\r\nExtra=kept\r\n"));
        EXPECT_TRUE(bytes.contains("pwpw_Caption=oYuKndyaUg==\r\n"));

        SettingsStore fresh = store();
        fresh.setUserName(QStringLiteral("other"));
        fresh.read();
        EXPECT_EQ(fresh.userName(), c.readBack);
        EXPECT_EQ(fresh.storedPassword(), QStringLiteral("oYuKndyaUg=="));
    }
}

TEST_F(SettingsStoreTest, WritesThePlacementEntries) {
    SettingsStore s = store();
    maintenance::WindowPlacement p;
    p.normPos[0] = 10;
    p.normPos[1] = 20;
    p.normPos[2] = 410;
    p.normPos[3] = 320;
    p.visible = true;
    s.setPlacement(p);
    s.write();
    const QByteArray bytes = fileBytes();
    for (const char* line :
         {"FormVersion=0\r\n", "Flags=0\r\n", "ShowCmd=1\r\n", "PixelsPerInch=96\r\n",
          "MinMaxPos=-1,-1,-1,-1\r\n", "NormPos=10,20,410,320\r\n", "Visible=1\r\n"})
        EXPECT_TRUE(bytes.contains(line)) << line;
}

TEST_F(SettingsStoreTest, UnwritableFileSaysSo) {
    // A folder in the file's place cannot be written by anyone, root included.
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("tasmerocfg.ini")));
    SettingsStore s = store();
    try {
        s.write();
        FAIL() << "no error";
    } catch (const platform::FileError& e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(file())));
    }

    SettingsStore missing;
    missing.setFolder(dir_.filePath(QStringLiteral("no/such/folder/")));
    EXPECT_THROW(missing.write(), platform::FileError);
}

TEST_F(SettingsStoreTest, ProgramEndWritesOnlyAfterARead) {
    SettingsStore s = store();
    s.writeAtProgramEnd();
    EXPECT_FALSE(QFile::exists(file()));
    s.read();
    s.writeAtProgramEnd();
    EXPECT_TRUE(QFile::exists(file()));
    QFile::remove(file());
    s.writeAtProgramEnd();  // nothing read since the last write
    EXPECT_FALSE(QFile::exists(file()));
    s.read();
    s.write();
    QFile::remove(file());
    s.writeAtProgramEnd();
    EXPECT_FALSE(QFile::exists(file()));
}

TEST_F(SettingsStoreTest, FreshInstallationSettings) {
    maintenance::Cipher cipher;
    cipher.InitKey(maintenance::kPasswordKey);
    EXPECT_EQ(cipher.DecodeText(maintenance::kDefaultStoredPassword),
              maintenance::kDefaultPassword);

    EXPECT_TRUE(maintenance::writeDefaultSettings(dir_.path()));
    SettingsStore s = store();
    s.setUserName(QString());
    s.setStoredPassword(QString());
    s.read();
    EXPECT_EQ(s.userName(), maintenance::kDefaultUserName);
    EXPECT_EQ(cipher.DecodeText(s.storedPassword()), maintenance::kDefaultPassword);

    writeFile("[Tasmero]\r\nCodice_Text=mario\r\n");
    EXPECT_FALSE(maintenance::writeDefaultSettings(folder()));
    EXPECT_EQ(fileBytes(), QByteArray("[Tasmero]\r\nCodice_Text=mario\r\n"));
}

}  // namespace
