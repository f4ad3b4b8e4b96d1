// The reader's tables (core/readerfacts.h) as the Qt faces read them: the
// read-back names for codes held as hex text, and names compared as people
// write them.
#pragma once

#include "readerfacts.h"

#include <QString>

namespace rfid {

// The text the read-back report shows for a code given as two upper-case hex
// digits (as held in the last response); empty when the code names nothing.
QString outputFormatReadName(const QString& codeText);
QString languageReadName(const QString& codeText);

// A name as people write it: blanks at the ends dropped, inner runs of blanks
// made one, case folded. Names in settings files are compared this way.
QString simplifiedName(const QString& text);

} // namespace rfid
