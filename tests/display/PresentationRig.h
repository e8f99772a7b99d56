#pragma once

#include "common/DisplayTestRig.h"
#include "common/TestGif.h"

#include "display/FramePresentation.h"
#include "display/MyProgress.h"
#include "display/PictureBox.h"
#include "display/SaverWindow.h"
#include "pictures/DisplayList.h"

#include "common/FakeSaverTimer.h"

#include <QDir>
#include <QLabel>
#include <QStringList>
#include <QWidget>

namespace nimbuscope::test {

/// The controls a FramePresentation draws on, real, on a 1024 × 768 parent; fake timers, a
/// display list, and the message boxes recorded. Frames are GIF files in the world's "data"
/// folder.
struct PresentationRig : DisplayTestRig {
    static constexpr int kScreenW = 1024;
    static constexpr int kScreenH = 768;

    PresentationRig()
        : progress(&window, log), list(log),
          presentation(PresentationContext{c, s, list, log, clock, world.home(),
                                           [this](const QString& text) {
                                               messages.append(text);
                                               if (onMessageBox) {
                                                   onMessageBox();
                                               }
                                           }}) {
        QDir().mkpath(dataPath({}));
        window.resize(kScreenW, kScreenH);
        c.window = &window;
        c.Picture1 = new PictureBox(&window);
        c.Picture2 = new PictureBox(&window, true);
        c.Picture2->hide();
        c.LogoImage = new PictureBox(&window);
        for (QLabel** l : {&c.ItemCaption, &c.ImageInfo, &c.ImageDate, &c.currentTime,
                           &c.DownloadInfoChannelName, &c.NetworkProblem, &c.NetworkProblem2}) {
            *l = new QLabel(&window);
            (*l)->setGeometry(0, 0, 300, 20);
            (*l)->hide();
        }
        c.progress = &progress;
        c.Timer1 = &Timer1;
        c.AsyncDownloadTimer = &AsyncDownloadTimer;
        s.screenWidth = kScreenW;
        s.screenHeight = kScreenH;
        s.screenAspect = float(kScreenW) / float(kScreenH);
        setPace(500, 1500);
    }

    /// The animation settings as the window derives them at load.
    void setPace(qint32 rateMs, qint32 lastFrameMs) {
        s.animationRateMS = rateMs;
        s.animationLastFrameMS = lastFrameMs;
        s.preloadImages = rateMs < s.preloadImagesThreshold;
    }

    /// Lists an active frame of `radarID` captioned with its name and, unless `spec` is
    /// null, writes its file. The file is written after listing: a small ".noaa" file would
    /// count as a radar-unavailable answer.
    QString addFrame(const QString& name, const QString& radarID, const GifSpec* spec,
                     bool active = true) {
        const QString path = dataPath(name);
        list.addItem(path, name, name, false, active, false, radarID);
        if (spec) {
            writeGif(path, *spec);
        }
        return path;
    }
    /// `count` frames "<radarID>-<n>.noaa", then the cycle marks.
    void addCycle(const QString& radarID, int count, const GifSpec& spec = GifSpec()) {
        for (int n = 0; n < count; ++n) {
            addFrame(QStringLiteral("%1-%2.noaa").arg(radarID).arg(n), radarID, &spec);
        }
        list.calculateAllCycleCounts();
    }

    /// Runs `ticks` Timer1 ticks and returns the interval each left Timer1 with.
    std::vector<int> holds(int ticks) {
        std::vector<int> result;
        for (int i = 0; i < ticks; ++i) {
            presentation.showNextImage();
            result.push_back(Timer1.interval());
        }
        return result;
    }
    /// The caption of each frame shown by `ticks` ticks.
    QStringList captions(int ticks) {
        QStringList result;
        for (int i = 0; i < ticks; ++i) {
            presentation.showNextImage();
            result.append(c.ItemCaption->text());
        }
        return result;
    }

    QWidget window;
    MyProgress progress;
    FakeSaverTimer Timer1{2000, true};
    FakeSaverTimer AsyncDownloadTimer{100, false};
    SaverControls c;
    SaverRunState s;
    DisplayList list;
    QStringList messages;
    std::function<void()> onMessageBox;
    FramePresentation presentation;
};

} // namespace nimbuscope::test
