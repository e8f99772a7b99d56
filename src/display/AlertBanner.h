#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

namespace nimbuscope {

/// The colour of an alert banner, by the alert's severity.
enum class BannerColour { Red, Orange, Yellow, Grey };

/// What the banner says.
struct BannerContent {
    QString headline; ///< "TORNADO WARNING until 5:45 PM"
    QString detail;   ///< the first sentence of the instruction; may be empty
    QString more;     ///< "+2 more"; empty with one alert
    BannerColour colour = BannerColour::Grey;

    friend bool operator==(const BannerContent&, const BannerContent&) = default;
};

QColor bannerBackground(BannerColour colour);
/// The text colour readable on `bannerBackground(colour)`.
QColor bannerText(BannerColour colour);

/// The banner of the active weather alert across the saver's window: its colour band, the
/// headline in bold with the count of the others at its right, and the detail below when
/// the band has room for it.
class AlertBanner final : public QWidget {
    Q_OBJECT
public:
    explicit AlertBanner(QWidget* parent);

    void setContent(const BannerContent& content);
    const BannerContent& content() const { return content_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    BannerContent content_;
};

/// Where the banner goes in a window of `window` size: across it, under the title block
/// (`belowTitle`, the lowest bottom of the title, its hint and the clock lines), above the
/// radar picture's area `picture`, at most `height` high. Above the product's heading
/// (`captionTop`) when the band there has room, else over the heading down to the picture;
/// never over the picture. Where the picture leaves no room under the title the band goes below the
/// picture, and where it leaves none at all, over the title.
QRect alertBannerRect(QSize window, int belowTitle, int captionTop, QRect picture, int height);

} // namespace nimbuscope
