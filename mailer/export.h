#ifndef VERDANPOST_MAILER_EXPORT_H_
#define VERDANPOST_MAILER_EXPORT_H_

// Marks the few symbols that libverdanpost.so exports; everything else is
// hidden (-fvisibility=hidden).
#if defined(VERDANPOST_COMPILE_LIBRARY)
#define VERDANPOST_EXPORT __attribute__((visibility("default")))
#else
#define VERDANPOST_EXPORT
#endif

#endif  // VERDANPOST_MAILER_EXPORT_H_
