#pragma once

#include <QImage>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace nimbuscope {

class InstanceLock;
class SaverApp;
class WindowEmbedding;

/// The part of a picture of size `picture` that fills an area of size `target` without
/// distortion: the whole of it when the shapes agree, otherwise the centred middle, cut on
/// the longer side. Empty when either size is empty.
QRect coverSourceRect(QSize picture, QSize target);

/// The preview's picture box: it stands as a window of its own, so that it can become the
/// child of a window of another program, and fills itself with its picture whatever size
/// that window gives it.
class PreviewPicture final : public QWidget {
    Q_OBJECT

public:
    PreviewPicture();

    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

    /// A red edge around the picture, shown while a severe weather alert is in effect.
    void setAlertEdge(bool shown);
    bool alertEdge() const { return alertEdge_; }
    /// The edge's width in a box of `size`: it follows the box, and stays visible in the
    /// smallest preview area.
    static int alertEdgeWidth(QSize size);

signals:
    /// The user closed the window (only possible while it stands on its own).
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QImage picture_;
    bool alertEdge_ = false;
};

/// The preview shown inside a screen-saver host's preview area: one fixed picture and no
/// network, cache or log. The form itself is 1x1 and carries the caption that a second
/// preview looks for; `Picture1` lives inside the host's window, and the program ends
/// shortly after that window has been destroyed.
class FrmPreview final : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kPictureFile = "NimbuscopePreview.jpg";
    /// The title of `Picture1` when it stands on its own (no host window).
    static constexpr const char* kPictureTitle = "Nimbuscope";
    static constexpr int kExitTimerIntervalMs = 100;
    /// How often the alerts that the saver keeps are looked at again, so that an alert
    /// issued or ended meanwhile shows in the edge.
    static constexpr int kAlertTimerIntervalMs = 60 * 1000;

    /// Loads the form: caption and its lock, the stored picture, a size of 1x1. The
    /// embedding must outlive the form.
    FrmPreview(SaverApp& app, WindowEmbedding& embedding);
    ~FrmPreview() override;

    /// Puts `Picture1` inside the window `parentHandle`, filling it, and shows the form.
    /// With 0 there is no host: the picture stands in a small window of its own until it is
    /// closed. False when the window cannot be reached; then nothing has been shown.
    bool showInParent(quint32 parentHandle);

    /// True from the load until the form is unloaded.
    bool isLoaded() const { return loaded_; }

    /// `Picture1`'s window is gone, with the host or closed: arms `ExitTimer`. The end comes
    /// on its tick, never while the destruction is being reported.
    void Picture1_Destroyed();
    /// Hides and unloads the form, then ends the program.
    void ExitTimer_Timer();
    /// Shows the red edge while the alerts that the saver last kept for the location hold
    /// an Extreme or Severe one in effect, and the user has not turned the alerts off.
    void AlertTimer_Timer();

    PreviewPicture Picture1;
    QTimer ExitTimer;
    QTimer AlertTimer;

private:
    bool severeAlertInEffect();
    void Form_Load();
    void Form_Unload();
    void fitToHost(QSize hostSize);

    SaverApp& app_;
    WindowEmbedding& embedding_;
    std::unique_ptr<InstanceLock> captionLock_;
    bool loaded_ = false;
};

} // namespace nimbuscope
