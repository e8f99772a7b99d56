#include "acquisition/PageRetriever.h"

#include "support/Error.h"

namespace nimbuscope {

void ComponentFactory::registerCreator(const QString& identifier, Creator creator) {
    creators_[identifier] = std::move(creator);
}

std::unique_ptr<PageRetriever> ComponentFactory::create(const QString& identifier) const {
    const auto it = creators_.find(identifier);
    std::unique_ptr<PageRetriever> made;
    if (it != creators_.end() && it->second) {
        made = it->second();
    }
    if (!made) {
        throw Error::of(err::CannotCreateObject);
    }
    return made;
}

} // namespace nimbuscope
