#ifndef VERDANPOST_CONSOLE_DISPATCH_CONTROL_CHARACTERS_H_
#define VERDANPOST_CONSOLE_DISPATCH_CONTROL_CHARACTERS_H_

#include <QString>

namespace verdanpost {

// True when `text` holds a character that must never reach a header line: a
// control character (CR, LF, tab and the rest of C0, DEL, C1) or a Unicode
// line or paragraph separator. A line break inside a header value would end
// the field and start another one of the data's choosing.
bool HoldsControlCharacter(const QString& text);

// As HoldsControlCharacter, but CR, LF and tab pass: for the multi-line
// mailing address, which is stored and never sent.
bool HoldsControlCharacterBesidesLineBreaks(const QString& text);

// True when a stored address can stand in a batch: not empty or blank, and
// free of control characters.
bool IsSendableAddress(const QString& address);

// True when a typed address has the form of one: exactly one "@", with a
// character other than a blank before it and after it. Nothing more is
// asked (the server decides the rest).
bool HasAddressForm(const QString& address);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_CONTROL_CHARACTERS_H_
