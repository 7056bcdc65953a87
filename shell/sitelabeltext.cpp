#include "shell/sitelabeltext.h"

#include "model/site.h"
#include "shell/settings.h"

#include <algorithm>

std::string WithoutControlChars(const std::string& text) {
    std::string clean;
    clean.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(clean),
                 [](char c) { return static_cast<unsigned char>(c) >= 32; });
    return clean;
}

namespace {

void AppendSeparator(std::string& label, const char* separator) {
    if (!label.empty())
        label += separator;
}

std::string CategoryNames(const CSite& site, const CategoryNameLookup& categoryName) {
    std::string names;
    if (!categoryName)
        return names;
    for (std::int32_t slot : site.m_categories.ActiveKeys()) {
        const std::string* name = categoryName(slot);
        if (!name)
            continue;
        if (!names.empty())
            names += "/";
        names += *name;
    }
    return names;
}

} // namespace

std::string SiteLabelText(const CSite& site, bool oneLine, std::int32_t viewFlags,
                          const CategoryNameLookup& categoryName) {
    const char* separator = oneLine ? ";" : "\n\r";
    std::string label;
    if (viewFlags & kViewUrl) {
        AppendSeparator(label, separator);
        label += WithoutControlChars(site.m_url);
    }
    if (viewFlags & kViewTitle) {
        AppendSeparator(label, separator);
        label += WithoutControlChars(site.m_title);
    }
    if (viewFlags & kViewDate) {
        AppendSeparator(label, separator);
        label += site.TimeText();
    }
    if (viewFlags & kViewAnnotation) {
        AppendSeparator(label, separator);
        if (site.m_annotation != "<NONE>")
            label += WithoutControlChars(site.m_annotation);
    }
    if (viewFlags & kViewCategories) {
        const std::string names = CategoryNames(site, categoryName);
        if (!names.empty()) {
            AppendSeparator(label, separator);
            label += names;
        }
    }
    return label;
}
