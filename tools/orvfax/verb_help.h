#pragma once
// orvfax --help, VERB --help and --version: one help entry per verb. The
// usage lines come from the usage texts the verbs report errors with, so
// an option added there shows up in the help as well.
#include <QString>

namespace orv::orvfax {

// The verb's usage lines and its description, or empty for an unknown verb.
QString VerbHelp(const QString& verb, const char* usage);
// Every verb's usage, the exit statuses and where to read more.
QString ProgramHelp(const char* usage);
QString VersionText();

}  // namespace orv::orvfax
