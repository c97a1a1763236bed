#ifndef VERDANPOST_TESTING_MESSAGE_STAMP_MASK_H_
#define VERDANPOST_TESTING_MESSAGE_STAMP_MASK_H_

#include <string>

namespace verdanpost::testing_support {

// `message` with the value of a Date field in the published form replaced by
// "DATE", and the local part of a Message-ID of the mailer's form (time,
// process, counter, 16 hex digits of randomness) by "ID", so that a test can
// assert every other byte of a built header. Only the header is looked at;
// a field of another form is left as it is, and the comparison shows it.
std::string MaskStamp(const std::string& message);

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_TESTING_MESSAGE_STAMP_MASK_H_
