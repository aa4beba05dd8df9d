// The results of a recolour job's tasks, with colour variants. Apart from the
// picture work, so that the recipe reader can be built on its own.

#include "cli/RecolorJob.h"

#include "platform/FileAccess.h"

#include <set>
#include <stdexcept>

namespace cli {

std::vector<std::string> ResultsOf(const TRecolorTask& task) {
    if (task.Variants.empty()) return {task.Output};
    std::vector<std::string> results;
    for (const TVariantResult& v : task.Variants)
        results.push_back(v.Output);
    return results;
}

std::string AddVariantResults(TRecolorJob& job) {
    std::set<std::string> results;
    for (TRecolorTask& task : job.Tasks) {
        task.Variants.clear();
        for (const TColourVariant& variant : job.Variants) {
            const std::string output = VariantResultPath(task.Output, variant.Name);
            if (!results.insert(tw::CleanPath(tw::AbsolutePath(output))).second) return output;
            task.Variants.push_back({variant.Name, output});
        }
        // "photo.jpg -> out/photo-*.png": the results as the user wrote them.
        if (const size_t arrow = task.Label.rfind(" -> ");
            arrow != std::string::npos && !job.Variants.empty())
            task.Label =
                task.Label.substr(0, arrow + 4) + VariantResultPath(task.Label.substr(arrow + 4), "*");
    }
    return {};
}

const TColourVariant& VariantNamed(const TRecolorJob& job, const std::string& name) {
    for (const TColourVariant& variant : job.Variants)
        if (variant.Name == name) return variant;
    throw std::logic_error("no variant named " + name);
}

} // namespace cli
