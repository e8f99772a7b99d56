#include "support/Clock.h"

#include <QThread>

namespace nimbuscope {

DateTime SystemClock::now() const { return DateTime::fromQDateTime(QDateTime::currentDateTime()); }

void SystemClock::sleep(int ms) { QThread::msleep(ulong(ms > 0 ? ms : 0)); }

} // namespace nimbuscope
