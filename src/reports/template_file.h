// Report templates on disk: an XML text of our own, versioned, described in
// templates/README.md.
//
// Loading is strict, since a template is edited by hand as often as by the
// designer: an unknown element or attribute, a missing attribute, a number or
// flag that does not read, a band that does not fit the rest, or a version
// newer than this program's all raise TemplateError naming the file, the line
// and what is wrong. Saving writes every attribute, so that saving a model and
// loading it back gives the same model.
#pragma once

#include "platform/error.h"
#include "reports/report_model.h"

#include <QByteArray>
#include <QString>

namespace reports {

inline constexpr int kTemplateVersion = 1;

class TemplateError : public platform::Error {
  public:
    using Error::Error;
};

// `fileName` only names the source in error messages.
Report parseTemplate(const QByteArray& xml, const QString& fileName);
QByteArray serializeTemplate(const Report& report);

Report loadTemplate(const QString& path);           // raises TemplateError or platform::FileError
// Checks the model as loading would (raising TemplateError with the same
// message), then writes it through a temporary file, so a failure leaves the
// file as it was; raises platform::FileError when the write fails.
void saveTemplate(const Report& report, const QString& path);

}  // namespace reports
