#include "fetch/resolvelink.h"

#include "fetch/urlsplitter.h"

namespace {

// RFC 3986 section 5.2.4, done in one pass over the segments.
std::string RemoveDotSegments(std::string_view path) {
    std::string output;
    output.reserve(path.size());
    auto dropLastSegment = [&output] {
        const size_t slash = output.rfind('/');
        output.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!path.empty()) {
        if (path.starts_with("../")) {
            path.remove_prefix(3);
        } else if (path.starts_with("./")) {
            path.remove_prefix(2);
        } else if (path.starts_with("/./")) {
            path.remove_prefix(2);
        } else if (path == "/.") {
            path = "/";
        } else if (path.starts_with("/../")) {
            path.remove_prefix(3);
            dropLastSegment();
        } else if (path == "/..") {
            path = "/";
            dropLastSegment();
        } else if (path == "." || path == "..") {
            path = {};
        } else {
            const size_t next = path.find('/', 1);
            const size_t length = next == std::string_view::npos ? path.size() : next;
            output.append(path.substr(0, length));
            path.remove_prefix(length);
        }
    }
    return output;
}

// RFC 3986 section 5.2.3.
std::string MergePaths(const CUrlSplitter& base, const std::string& referencePath) {
    if (base.HasAuthority() && base.Path().empty())
        return "/" + referencePath;
    const size_t slash = base.Path().rfind('/');
    if (slash == std::string::npos)
        return referencePath;
    return base.Path().substr(0, slash + 1) + referencePath;
}

// RFC 3986 section 5.2.2 for a reference without a scheme, recomposed as section 5.3 says.
std::string ResolveAgainstHttpPage(const CUrlSplitter& base, const CUrlSplitter& reference) {
    const CUrlSplitter* authoritySource = &base;
    std::string path;
    const std::string* query = nullptr;
    if (reference.HasAuthority()) {
        authoritySource = &reference;
        path = RemoveDotSegments(reference.Path());
        query = reference.HasQuery() ? &reference.Query() : nullptr;
    } else if (reference.Path().empty()) {
        path = base.Path();
        if (reference.HasQuery())
            query = &reference.Query();
        else if (base.HasQuery())
            query = &base.Query();
    } else {
        if (reference.Path().front() == '/')
            path = RemoveDotSegments(reference.Path());
        else
            path = RemoveDotSegments(MergePaths(base, reference.Path()));
        query = reference.HasQuery() ? &reference.Query() : nullptr;
    }

    std::string result = base.Scheme();
    result += ':';
    if (authoritySource->HasAuthority()) {
        result += "//";
        result += authoritySource->Authority();
    }
    result += path;
    if (query != nullptr) {
        result += '?';
        result += *query;
    }
    if (reference.HasFragment()) {
        result += '#';
        result += reference.Fragment();
    }
    return result;
}

std::string LocalDirectoryOf(std::string_view pageUrl) {
    const size_t separator = pageUrl.find_last_of("/\\");
    if (separator == std::string_view::npos)
        return {};
    return std::string(pageUrl.substr(0, separator + 1));
}

bool IsLocal(EUrlClass urlClass) {
    return urlClass == EUrlClass::File || urlClass == EUrlClass::Unrecognised;
}

std::string Capped(std::string url) {
    if (url.size() > kMaxResolvedLinkLength)
        url.resize(kMaxResolvedLinkLength);
    return url;
}

} // namespace

std::string ResolveLink(std::string_view pageUrl, std::string_view target) {
    const CUrlSplitter reference(target);
    if (reference.Class() == EUrlClass::Http)
        return Capped(std::string(target));
    const CUrlSplitter page(pageUrl);
    if (page.Class() == EUrlClass::Http && reference.Class() == EUrlClass::Unrecognised)
        return Capped(ResolveAgainstHttpPage(page, reference));
    if (!IsLocal(page.Class()) || !IsLocal(reference.Class()))
        return Capped(std::string(target));
    std::string result = LocalDirectoryOf(pageUrl);
    result += target;
    return Capped(std::move(result));
}
