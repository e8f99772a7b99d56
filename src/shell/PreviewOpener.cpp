#include "shell/PreviewOpener.h"

#include "platform/X11Embedding.h"
#include "shell/FrmPreview.h"

namespace nimbuscope {

PreviewOpener::PreviewOpener() : PreviewOpener([] { return std::make_unique<X11Embedding>(); }) {}

PreviewOpener::PreviewOpener(EmbeddingFactory makeEmbedding)
    : makeEmbedding_(std::move(makeEmbedding)) {}

PreviewOpener::~PreviewOpener() {
    form_.reset();
    embedding_.reset();
}

bool PreviewOpener::open(SaverApp& app, qint32 parentHandle) {
    if (parentHandle < 0) {
        return false; // no window id is negative
    }
    embedding_ = makeEmbedding_();
    form_ = std::make_unique<FrmPreview>(app, *embedding_);
    if (!form_->showInParent(static_cast<quint32>(parentHandle))) {
        form_.reset();
        embedding_.reset();
        return false;
    }
    return true;
}

} // namespace nimbuscope
