#include "fetch/resolvelink.h"

#include <cstring>

#include "fetch/classicchars.h"
#include "fetch/urlsplitter.h"

namespace {

// RFC 3986 section 5.2.4 on the path at text[from...], done in place in one pass over the
// segments: the output never grows past the input read so far.
void RemoveDotSegments(std::string& text, size_t from) {
    size_t read = from;
    size_t write = from;
    const size_t end = text.size();
    auto rest = [&] { return std::string_view(text).substr(read); };
    auto dropLastSegment = [&] {
        const size_t slash = std::string_view(text.data() + from, write - from).rfind('/');
        write = slash == std::string_view::npos ? from : from + slash;
    };
    while (read < end) {
        const std::string_view path = rest();
        if (path.starts_with("../")) {
            read += 3;
        } else if (path.starts_with("./")) {
            read += 2;
        } else if (path.starts_with("/./")) {
            read += 2;
        } else if (path == "/.") {
            text[++read] = '/'; // the rest becomes "/"
        } else if (path.starts_with("/../")) {
            read += 3;
            dropLastSegment();
        } else if (path == "/..") {
            read += 2;
            text[read] = '/';
            dropLastSegment();
        } else if (path == "." || path == "..") {
            read = end;
        } else {
            const size_t next = path.find('/', 1);
            const size_t length = next == std::string_view::npos ? path.size() : next;
            if (write != read)
                std::memmove(text.data() + write, text.data() + read, length);
            write += length;
            read += length;
        }
    }
    text.resize(write);
}

// Appends the path made of head and tail, dot segments removed. Removing them changes only a
// path with a segment "." or "..", which starts the path or follows a '/'; any other path is
// appended as it is, without a copy.
bool StartsSegmentWithDot(std::string_view text, char before) {
    for (const char c : text) {
        if (c == '.' && before == '/')
            return true;
        before = c;
    }
    return false;
}

void AppendPath(std::string& result, std::string_view head, std::string_view tail) {
    // A '/' before the path makes its first segment count like any other.
    const bool mayHaveDots = StartsSegmentWithDot(head, '/') ||
                             StartsSegmentWithDot(tail, head.empty() ? '/' : head.back());
    const size_t start = result.size();
    result += head;
    result += tail;
    if (mayHaveDots)
        RemoveDotSegments(result, start);
}

// RFC 3986 sections 5.2.2 and 5.2.3 for a reference without a scheme, recomposed as section
// 5.3 says.
void ResolveAgainstHttpPage(const SUrlParts& base, const SUrlParts& reference,
                            std::string& result) {
    const SUrlParts& authoritySource = reference.hasAuthority ? reference : base;
    result.clear();
    result.reserve(base.scheme.size() + 3 + authoritySource.authority.size() + base.path.size() +
                   reference.path.size() + base.query.size() + reference.query.size() +
                   reference.fragment.size() + 3);
    result += base.scheme;
    result += ':';
    if (authoritySource.hasAuthority) {
        result += "//";
        result += authoritySource.authority;
    }

    const std::string_view* query = nullptr;
    if (reference.hasAuthority) {
        AppendPath(result, {}, reference.path);
        query = reference.hasQuery ? &reference.query : nullptr;
    } else if (reference.path.empty()) {
        result += base.path;
        if (reference.hasQuery)
            query = &reference.query;
        else if (base.hasQuery)
            query = &base.query;
    } else {
        if (reference.path.front() == '/') {
            AppendPath(result, {}, reference.path);
        } else if (base.hasAuthority && base.path.empty()) {
            AppendPath(result, "/", reference.path);
        } else {
            const size_t slash = base.path.rfind('/');
            const std::string_view directory = slash == std::string_view::npos
                                                   ? std::string_view()
                                                   : base.path.substr(0, slash + 1);
            AppendPath(result, directory, reference.path);
        }
        query = reference.hasQuery ? &reference.query : nullptr;
    }

    if (query != nullptr) {
        result += '?';
        result += *query;
    }
    if (reference.hasFragment) {
        result += '#';
        result += reference.fragment;
    }
}

bool IsLocal(EUrlClass urlClass) {
    return urlClass == EUrlClass::File || urlClass == EUrlClass::Unrecognised;
}

void Cap(std::string& url) {
    if (url.size() > kMaxResolvedLinkLength)
        url.resize(kMaxResolvedLinkLength);
}

// Whether the target starts with "http:" or "https:" in any case, which makes it absolute.
bool StartsWithHttpScheme(std::string_view target) {
    const size_t colon = target.size() > 5 && (target[5] == ':') ? 5 : 4;
    if (target.size() <= colon || target[colon] != ':')
        return false;
    const std::string_view scheme = target.substr(0, colon);
    auto lower = [](char c) { return ClassicChars::ToLower(static_cast<unsigned char>(c)); };
    static constexpr std::string_view kHttps = "https";
    for (size_t i = 0; i < scheme.size(); ++i) {
        if (lower(scheme[i]) != kHttps[i])
            return false;
    }
    return true;
}

} // namespace

std::string ResolveLink(std::string_view pageUrl, std::string_view target) {
    std::string result;
    ResolveLink(pageUrl, CUrlSplitter::Split(pageUrl), target, result);
    return result;
}

void ResolveLink(std::string_view pageUrl, const SUrlParts& page, std::string_view target,
                 std::string& result) {
    if (StartsWithHttpScheme(target)) {
        result.assign(target.substr(0, kMaxResolvedLinkLength));
        return;
    }
    const SUrlParts reference = CUrlSplitter::Split(target);
    if (page.urlClass == EUrlClass::Http && reference.urlClass == EUrlClass::Unrecognised) {
        ResolveAgainstHttpPage(page, reference, result);
        Cap(result);
        return;
    }
    if (reference.urlClass == EUrlClass::Http || !IsLocal(page.urlClass) ||
        !IsLocal(reference.urlClass)) {
        result.assign(target.substr(0, kMaxResolvedLinkLength));
        return;
    }
    // Both local: the page's directory (up to its last '/' or '\') followed by the target.
    const size_t separator = pageUrl.find_last_of("/\\");
    const std::string_view directory =
        separator == std::string_view::npos ? std::string_view() : pageUrl.substr(0, separator + 1);
    result.assign(directory);
    result += target;
    Cap(result);
}
