// The version of both shipped programs, QMXSET.EXE and QMXCHECK.EXE, in their
// version resources. Raise it with every release: App Control and AppLocker
// rules allow a publisher's program from a lowest version on, and a release
// that keeps the old number cannot be told from the one before it
// (scripts/sign.sh refuses to sign it when given the last release).
#pragma once

#define QMX_VERSION_NUMBERS 1,0,0,0
#define QMX_VERSION_TEXT "1.00"
