#include "scene/LoadModel.h"

#include "mdl/Mdl7Reader.h"
#include "mdl/OpenModelFile.h"
#include "mdl/legacy/LegacyModelReader.h"
#include "scene/LegacyLoader.h"
#include "scene/Mdl7Loader.h"

#include <string>

namespace kelvane::scene {

std::string LoadFailure::describe() const
{
    return place + ": " + reason + " (reading stopped at offset " + std::to_string(offset) + ")";
}

namespace {

void load(const char* path, LoadMode mode, LoadObserver* observer, LoadResult& result)
{
    OpenModelResult opened = openModelFile(path);
    if (!opened) {
        result.openError = std::move(opened.error);
        return;
    }
    if (auto* mdl7 = dynamic_cast<Mdl7Reader*>(opened.model.get())) {
        loadMdl7(*mdl7, mode, result, observer);
    } else if (auto* legacy = dynamic_cast<LegacyModelReader*>(opened.model.get())) {
        loadLegacy(*legacy, result);
    } else {
        result.openError = std::string(path) + ": no loader for this model format (code " +
                           std::to_string(opened.model->formatCode()) + ")";
    }
    // The model is all that stays: the reader and its view of the file go
    // before the caller goes on with the model.
    opened.model.reset();
}

} // namespace

LoadResult loadModel(const char* path, LoadMode mode)
{
    LoadResult result;
    load(path, mode, nullptr, result);
    return result;
}

void loadModel(const char* path, LoadMode mode, LoadObserver& observer, LoadResult& result)
{
    load(path, mode, &observer, result);
}

} // namespace kelvane::scene
