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

signals:
    /// The user closed the window (only possible while it stands on its own).
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QImage picture_;
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

    PreviewPicture Picture1;
    QTimer ExitTimer;

private:
    void Form_Load();
    void Form_Unload();
    void fitToHost(QSize hostSize);

    SaverApp& app_;
    WindowEmbedding& embedding_;
    std::unique_ptr<InstanceLock> captionLock_;
    bool loaded_ = false;
};

} // namespace nimbuscope
