#pragma once

#include <string>
#include <string_view>

// What kind of place a URL names, as the scanner and the fetch worker tell them apart.
enum class EUrlClass {
    Http,        // "http:" or "https:" (scheme compared without regard to case)
    File,        // "file:"
    Other,       // any other scheme: "mailto:", "ftp:", "javascript:" ...
    Unrecognised // no scheme: a relative reference or a local path
};

// The parts of one URL as CUrlSplitter reads them, as views into the URL's own bytes.
struct SUrlParts {
    EUrlClass urlClass = EUrlClass::Unrecognised;
    std::string_view scheme;
    bool hasAuthority = false;
    std::string_view authority;
    std::string_view host;
    std::string_view port;
    std::string_view path;
    bool hasQuery = false;
    std::string_view query;
    bool hasFragment = false;
    std::string_view fragment;
};

// Splits one URL into scheme, authority (user info, host, port), path, query and fragment the
// way RFC 3986 reads a URI reference. Nothing is decoded or normalised: every part is a copy of
// the bytes as written, so the splitter never refers back to its input. Never fails; text that
// is not a URL at all is a relative reference whose path is the whole text.
class CUrlSplitter {
public:
    explicit CUrlSplitter(std::string_view url);

    // The same split without a copy: the views point into url and live as long as its bytes.
    static SUrlParts Split(std::string_view url);

    EUrlClass Class() const { return m_class; }

    // Without the ':'; as written; empty when the URL has no scheme.
    const std::string& Scheme() const { return m_scheme; }

    // True when "//" introduces an authority (it may still be empty, as in "file:///tmp/x").
    bool HasAuthority() const { return m_hasAuthority; }
    const std::string& Authority() const { return m_authority; } // "user@host:port" as written
    const std::string& Host() const { return m_host; } // without user info and port; "[v6]" kept
    const std::string& Port() const { return m_port; } // digits as written; empty when none

    // The object path, percent escapes kept; may be empty ("http://host" has none).
    const std::string& Path() const { return m_path; }

    bool HasQuery() const { return m_hasQuery; }
    const std::string& Query() const { return m_query; } // without the '?'
    bool HasFragment() const { return m_hasFragment; }
    const std::string& Fragment() const { return m_fragment; } // without the '#'

private:
    EUrlClass m_class = EUrlClass::Unrecognised;
    std::string m_scheme;
    bool m_hasAuthority = false;
    std::string m_authority;
    std::string m_host;
    std::string m_port;
    std::string m_path;
    bool m_hasQuery = false;
    std::string m_query;
    bool m_hasFragment = false;
    std::string m_fragment;
};
