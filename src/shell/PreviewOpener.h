#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

namespace nimbuscope {

class FrmPreview;
class SaverApp;
class WindowEmbedding;

/// Opens the preview for the entry point and keeps the form, with the window embedding it
/// stands in, for as long as the event loop serves them. Mode openers delegate "/p" here.
class PreviewOpener {
public:
    using EmbeddingFactory = std::function<std::unique_ptr<WindowEmbedding>()>;

    /// Embeds through the X server that Qt is connected to.
    PreviewOpener();
    explicit PreviewOpener(EmbeddingFactory makeEmbedding);
    ~PreviewOpener();
    PreviewOpener(const PreviewOpener&) = delete;
    PreviewOpener& operator=(const PreviewOpener&) = delete;

    /// Loads FrmPreview and shows its picture inside the window `parentHandle` (0: in a
    /// window of its own). True when the form is loaded and the event loop must serve it;
    /// false, with nothing shown and nothing held, when that window cannot be reached.
    bool open(SaverApp& app, qint32 parentHandle);

    /// The loaded form, if any.
    FrmPreview* form() const { return form_.get(); }

private:
    EmbeddingFactory makeEmbedding_;
    // Declared first so that it outlives the form whose picture it holds in the host.
    std::unique_ptr<WindowEmbedding> embedding_;
    std::unique_ptr<FrmPreview> form_;
};

} // namespace nimbuscope
