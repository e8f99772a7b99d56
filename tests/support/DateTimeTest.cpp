#include "support/DateTime.h"

#include <gtest/gtest.h>

using namespace nimbuscope;

TEST(DateTime, CountsDaysFrom1899RoundTripsAndFormatsAsTheGeneralDate) {
    EXPECT_DOUBLE_EQ(DateTime::fromParts(1899, 12, 30).days(), 0.0);
    EXPECT_DOUBLE_EQ(DateTime::fromParts(1900, 1, 1, 12).days(), 2.5);
    const DateTime t = DateTime::fromParts(2026, 12, 5, 21, 35, 29, 7);
    EXPECT_EQ(t.toQDateTime(), QDateTime(QDate(2026, 12, 5), QTime(21, 35, 29, 7)));
    EXPECT_EQ(DateTime::fromQDateTime(t.toQDateTime()), t);
    EXPECT_EQ(t.generalDate(), QStringLiteral("12/5/2026 9:35:29 PM"));
    EXPECT_EQ(DateTime::fromParts(2026, 3, 7, 0, 5, 1).longTime(), QStringLiteral("12:05:01 AM"));
}

TEST(DateTime, WholeSecondsTruncateAndKeepTheirSignAcrossMidnight) {
    const DateTime a = DateTime::fromParts(2026, 1, 1, 23, 59, 0);
    EXPECT_EQ(wholeSecondsBetween(a, a.addSeconds(59.9)), 59);
    EXPECT_EQ(wholeSecondsBetween(a.addSeconds(300), a), -300);
    EXPECT_EQ(wholeSecondsBetween(a, DateTime::fromParts(2026, 1, 2, 0, 4)), 300);
}

TEST(DateTime, ValidityCoversTheYearsADateCanHold) {
    EXPECT_TRUE(DateTime::fromParts(100, 1, 1).isValid());
    EXPECT_TRUE(DateTime::fromParts(9999, 12, 31, 23, 59).isValid());
    EXPECT_FALSE(DateTime::fromParts(10000, 1, 1).isValid());
    EXPECT_FALSE(DateTime::fromParts(99, 12, 31).isValid());
    EXPECT_FALSE(DateTime(std::numeric_limits<double>::quiet_NaN()).isValid());
}
