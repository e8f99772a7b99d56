#pragma once

#include "support/DateTime.h"

#include <QLocale>
#include <QString>

namespace nimbuscope {

/// The time of day of `moment` in the long time format of `locale` (the user's, for the
/// clock and the last download): "9:35:29 PM" in the United States, "21:35:29" in Germany.
/// The format's time zone is left out: the saver's moments carry none.
QString localLongTime(DateTime moment, const QLocale& locale);

} // namespace nimbuscope
