// A ready installation folder: what the program needs to start in it.
//
// Creates whatever is missing of: the three tables with their production
// indexes, the settings file with the default login (user "admin", password
// "tasmero"), the report templates. Nothing that exists is ever replaced, so
// running it on an installation in use changes nothing there.
#pragma once

#include <QString>
#include <QStringList>

namespace setup {

struct InstallationReport {
    int tablesCreated = 0;
    bool settingsCreated = false;
    QStringList templatesCopied;
};

// Where the report templates are kept: installed beside the program, else
// in the sources it was built from.
QString defaultTemplatesFolder();

// Raises platform::Error when the folder cannot be made or written.
InstallationReport prepareInstallation(const QString& folder,
                                       const QString& templatesFolder = defaultTemplatesFolder());

}  // namespace setup
