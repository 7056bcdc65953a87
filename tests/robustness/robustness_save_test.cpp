// Crash-safe saves, proven on real processes: a child saving a large urls.wfx or cats.wfx is
// killed with SIGKILL at random moments of its save, a save runs into a full disk
// (RLIMIT_FSIZE), and a Home folder the program may not write to. Every time the file on disk
// must be the old one or the new one, whole, as the built wayfold-dump reads it.

#include "model/binaryio.h"
#include "model/category.h"
#include "model/categorytree.h"
#include "model/errorreport.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/sitefilterlist.h"
#include "model/wordentry.h"
#include "model/wordlist.h"

#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <memory>
#include <poll.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kKillTrials = 50;
// Large enough that a save takes several milliseconds; smaller under the sanitizers, which make
// every load and dump many times slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSites = 2500;
constexpr int kCategories = 400;
#else
constexpr int kSites = 15000;
constexpr int kCategories = 1500;
#endif

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// Names in the folder other than the given ones: temporary files left by a killed save.
std::vector<std::string> OtherFiles(const std::string& folder,
                                    const std::vector<std::string>& known) {
    std::vector<std::string> others;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (std::find(known.begin(), known.end(), name) == known.end())
            others.push_back(name);
    }
    return others;
}

struct DumpResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built wayfold-dump on the file.
DumpResult Dump(const std::string& path) {
    CTempDir scratch;
    const std::string command = std::string("'") + WAYFOLD_DUMP + "' '" + path + "' >'" +
                                scratch.File("out") + "' 2>'" + scratch.File("err") + "'";
    const int status = std::system(command.c_str());
    DumpResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(scratch.File("out"));
    result.err = ReadFile(scratch.File("err"));
    return result;
}

// A forked child running `body`. What the child reports through ShowError arrives on a pipe;
// the child can also mark moments ('S' save starts, 'D' save done) on a second pipe.
class CChild {
public:
    explicit CChild(const std::function<int(int markFd)>& body) {
        int messages[2], marks[2];
        if (::pipe(messages) != 0 || ::pipe(marks) != 0)
            return;
        std::fflush(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(messages[0]);
            ::close(marks[0]);
            const int messageFd = messages[1];
            SetErrorHandler([messageFd](const std::string& text, bool) {
                const std::string line = text + "\n";
                (void)!::write(messageFd, line.data(), line.size());
            });
            ::_exit(body(marks[1]));
        }
        ::close(messages[1]);
        ::close(marks[1]);
        m_messageFd = messages[0];
        m_markFd = marks[0];
    }
    ~CChild() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            Wait();
        }
        if (m_messageFd >= 0)
            ::close(m_messageFd);
        if (m_markFd >= 0)
            ::close(m_markFd);
    }

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    // Waits up to timeoutMs for the next mark; 0 when none came.
    char NextMark(int timeoutMs = 60000) {
        pollfd fd{m_markFd, POLLIN, 0};
        char mark = 0;
        if (::poll(&fd, 1, timeoutMs) == 1 && ::read(m_markFd, &mark, 1) == 1)
            return mark;
        return 0;
    }
    void Kill() { ::kill(m_pid, SIGKILL); }
    // The exit status (as waitpid gives it).
    int Wait() {
        int status = 0;
        if (m_pid > 0 && ::waitpid(m_pid, &status, 0) == m_pid)
            m_status = status;
        m_pid = -1;
        return m_status;
    }
    std::string Messages() {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_messageFd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }

private:
    pid_t m_pid = -1;
    int m_status = -1;
    int m_messageFd = -1;
    int m_markFd = -1;
};

void Mark(int fd, char mark) {
    (void)!::write(fd, &mark, 1);
}

std::string GenerationUrl(int generation) {
    return "http://generation.example/" + std::to_string(generation);
}

// A URL database of kSites visited sites with words and links, as months of browsing leave it.
void WriteLargeUrlDatabase(const std::string& path) {
    CSiteDatabase db;
    ASSERT_TRUE(db.Open(path));
    for (int i = 0; i < kSites; ++i) {
        const std::string host = "http://host" + std::to_string(i % 97) + ".example/";
        CSite* site = db.AddSite(std::make_unique<CSite>(
            host + "page" + std::to_string(i) + ".html", "Page number " + std::to_string(i),
            i % 5 == 0 ? "my note" : "", 1, 946684800 + i));
        for (int w = 0; w < 5; ++w) {
            CWordEntry* entry = db.FindOrMakeWord("WORD" + std::to_string((i * 7 + w) % 800));
            entry->AddSite(site);
            site->AddWord(entry);
        }
        for (int l = 0; l < 4; ++l)
            site->AddLink(std::make_unique<CSite>(host + "link" + std::to_string(i + l) + ".html",
                                                  "", "", 0, 946684800));
    }
    db.AddSite(std::make_unique<CSite>(GenerationUrl(0), "Generation", "", 1, 946684800));
    ASSERT_TRUE(db.Save());
}

// The child's part: load the database, add the next generation's site, save.
int SaveNextUrlGeneration(const std::string& path, int markFd) {
    CSiteDatabase db;
    if (!db.Open(path))
        return 3;
    int generation = 0;
    while (db.FindSite(GenerationUrl(generation + 1)))
        ++generation;
    db.AddSite(
        std::make_unique<CSite>(GenerationUrl(generation + 1), "Generation", "", 1, 946684800));
    Mark(markFd, 'S');
    const bool saved = db.Save();
    Mark(markFd, 'D');
    db.OpenReadOnly(path); // no second save at destruction
    return saved ? 0 : 4;
}

std::string GenerationCategory(int generation) {
    return "Generation " + std::to_string(generation);
}

void WriteLargeCategoryFile(const std::string& path) {
    CCategoryTree tree;
    ASSERT_TRUE(tree.Open(path, [](const std::string&) { return nullptr; }));
    for (int i = 0; i < kCategories; ++i) {
        CCategory* category =
            tree.Register(std::make_unique<CCategory>("Category " + std::to_string(i)));
        for (int w = 0; w < 40; ++w)
            category->m_words.Add("WORD" + std::to_string(i * 40 + w), w + 1);
        if (i > 0)
            tree.Reparent(category, (i - 1) / 4);
    }
    tree.Register(std::make_unique<CCategory>(GenerationCategory(0)));
    ASSERT_TRUE(tree.Save());
    tree.DetachFile();
}

int SaveNextCategoryGeneration(const std::string& path, int markFd) {
    CCategoryTree tree;
    if (!tree.Open(path, [](const std::string&) { return nullptr; }))
        return 3;
    int generation = 0;
    for (int i = 0; i < tree.SlotCount(); ++i)
        if (const CCategory* category = tree.CategoryAt(i))
            if (category->m_name.rfind("Generation ", 0) == 0)
                generation = std::max(generation, std::stoi(category->m_name.substr(11)));
    tree.Register(std::make_unique<CCategory>(GenerationCategory(generation + 1)));
    Mark(markFd, 'S');
    const bool saved = tree.Save();
    Mark(markFd, 'D');
    tree.DetachFile();
    return saved ? 0 : 4;
}

struct KillTally {
    int old = 0;         // the kill came before the rename: the old file stayed
    int replaced = 0;    // the new file was in place
    int interrupted = 0; // a temporary file was left: the kill came in the middle of writing
};

// Runs kKillTrials children that save the next generation and kills each at a random moment
// of its save. `records` counts the records of a dump ("visited" per site, "index" per
// category); each generation adds one.
void KillSavesAtRandom(const std::string& folder, const std::string& fileName,
                       const std::function<int(int)>& saveNext, const std::string& recordKey,
                       KillTally& tally) {
    const std::string path = folder + "/" + fileName;
    const auto countRecords = [&](const DumpResult& dump) { return CountOf(dump.out, recordKey); };

    // One save run whole, to learn how long a save takes on this machine.
    const DumpResult first = Dump(path);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    size_t records = countRecords(first);
    Clock::duration saveTime{};
    {
        CChild child(saveNext);
        EXPECT_EQ(child.NextMark(), 'S');
        const auto start = Clock::now();
        EXPECT_EQ(child.NextMark(), 'D');
        saveTime = Clock::now() - start;
        EXPECT_EQ(child.Wait(), 0);
    }
    ++records;
    const auto window =
        std::max<Clock::duration>(saveTime * 13 / 10, std::chrono::milliseconds(20));

    std::mt19937 random(20240601);
    std::uniform_int_distribution<long long> delay(
        0, std::chrono::duration_cast<std::chrono::microseconds>(window).count());
    for (int trial = 0; trial < kKillTrials; ++trial) {
        const std::string before = ReadFile(path);
        pid_t killed = -1;
        {
            CChild child(saveNext);
            EXPECT_TRUE(child.Started());
            killed = child.Pid();
            EXPECT_EQ(child.NextMark(), 'S') << "trial " << trial;
            std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
            child.Kill();
            child.Wait();
        }
        // Only temporary files may be left, and the one of this child tells that the kill came
        // in the middle of its write.
        const std::vector<std::string> leftovers = OtherFiles(folder, {fileName});
        for (const std::string& name : leftovers) {
            EXPECT_EQ(name.rfind(fileName + ".tmp-", 0), 0u) << name;
            if (name.rfind(fileName + ".tmp-" + std::to_string(killed) + "-", 0) == 0)
                ++tally.interrupted;
        }

        const DumpResult dump = Dump(path);
        ASSERT_EQ(dump.exitCode, 0) << "trial " << trial << ": " << dump.err;
        EXPECT_EQ(dump.err, "");
        const std::string after = ReadFile(path);
        if (after == before) {
            ++tally.old;
            EXPECT_EQ(countRecords(dump), records) << "trial " << trial;
        } else {
            ++tally.replaced;
            ++records;
            ASSERT_EQ(countRecords(dump), records) << "trial " << trial;
        }
    }

    // A save that runs to its end clears the temporary files the killed ones left.
    {
        CChild child(saveNext);
        EXPECT_EQ(child.NextMark(), 'S');
        EXPECT_EQ(child.NextMark(), 'D');
        EXPECT_EQ(child.Wait(), 0);
    }
    EXPECT_EQ(OtherFiles(folder, {fileName}), std::vector<std::string>{});
    const DumpResult last = Dump(path);
    EXPECT_EQ(countRecords(last), records + 1);
    std::printf("%s (%zu bytes): %d kills, old file %d times, new file %d times, %d inside the "
                "write (save takes %lld ms)\n",
                fileName.c_str(), ReadFile(path).size(), kKillTrials, tally.old, tally.replaced,
                tally.interrupted,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(saveTime).count()));
}

TEST(CrashSafeSave, KilledUrlDatabaseSaveLeavesOldOrNewFileWhole) {
    CTempDir home;
    WriteLargeUrlDatabase(home.File("urls.wfx"));
    const std::string path = home.File("urls.wfx");
    KillTally tally;
    KillSavesAtRandom(
        home.Path(), "urls.wfx",
        [&path](int markFd) { return SaveNextUrlGeneration(path, markFd); }, "\"visited\":", tally);
    // The kills must really have hit both sides of the rename and the write itself.
    EXPECT_GT(tally.old, 0);
    EXPECT_GT(tally.replaced, 0);
    EXPECT_GT(tally.interrupted, 0);
}

TEST(CrashSafeSave, KilledCategorySaveLeavesOldOrNewFileWhole) {
    CTempDir home;
    WriteLargeCategoryFile(home.File("cats.wfx"));
    const std::string path = home.File("cats.wfx");
    KillTally tally;
    KillSavesAtRandom(
        home.Path(), "cats.wfx",
        [&path](int markFd) { return SaveNextCategoryGeneration(path, markFd); },
        "\"index\":", tally);
    EXPECT_GT(tally.old, 0);
    EXPECT_GT(tally.replaced, 0);
    EXPECT_GT(tally.interrupted, 0);
}

// Temporary files of saves killed before their rename are cleared by the next save of the same
// file, but never those of a process that still runs, nor files of other names.
TEST(CrashSafeSave, SaveRemovesTemporaryFilesOfKilledSavesOnly) {
    CTempDir home;
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string dead = "urls.wfx.tmp-" + std::to_string(gone) + "-3";
    const std::string running = "urls.wfx.tmp-" + std::to_string(::getppid()) + "-0";
    const std::vector<std::string> others{running, "urls.wfx.tmp-notes",
                                          "cats.wfx.tmp-" + std::to_string(gone) + "-0"};
    for (const std::string& name : others)
        std::ofstream(home.File(name)) << "x";
    std::ofstream(home.File(dead)) << "half a file";

    CAtomicFile file;
    ASSERT_TRUE(file.Open(home.File("urls.wfx")));
    ASSERT_TRUE(file.WriteInt32(1));
    ASSERT_TRUE(file.Commit());

    std::vector<std::string> expected = others;
    expected.push_back("urls.wfx");
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> names = OtherFiles(home.Path(), {});
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected);
}

// The child may write files of at most `bytes` bytes; a longer write fails (EFBIG) as on a
// full disk, instead of the signal ending the process.
void LimitFileSize(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(CrashSafeSave, FullDiskKeepsOldUrlDatabaseAndSaysSo) {
    CTempDir home;
    const std::string path = home.File("urls.wfx");
    WriteLargeUrlDatabase(path);
    const std::string before = ReadFile(path);

    CChild child([&](int) {
        LimitFileSize(before.size() / 2);
        CSiteDatabase db;
        if (!db.Open(path))
            return 3;
        db.AddSite(std::make_unique<CSite>(GenerationUrl(1), "Generation", "", 1, 946684800));
        const bool saved = db.Save();
        db.OpenReadOnly(path); // no second save at destruction
        return saved ? 0 : 4;
    });
    const int status = child.Wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 4) << "the save claimed success";
    // One message; which one depends on the write that meets the limit: a record's
    // ("Error writing meta-data to URL database.") or, for a file short enough to be written
    // in one block, the final one ("Error writing url database NAME; the previous file is
    // kept.").
    std::string messages = child.Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), 1) << messages;
    EXPECT_EQ(messages.rfind("Error writing ", 0), 0u) << messages;
    std::transform(messages.begin(), messages.end(), messages.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_NE(messages.find("url database"), std::string::npos) << messages;
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(OtherFiles(home.Path(), {"urls.wfx"}), std::vector<std::string>{});
}

TEST(CrashSafeSave, FullDiskKeepsOldCategoryFileAndSaysSo) {
    CTempDir home;
    const std::string path = home.File("cats.wfx");
    WriteLargeCategoryFile(path);
    const std::string before = ReadFile(path);

    CChild child([&](int) {
        LimitFileSize(before.size() / 2);
        CCategoryTree tree;
        if (!tree.Open(path, [](const std::string&) { return nullptr; }))
            return 3;
        tree.Register(std::make_unique<CCategory>(GenerationCategory(1)));
        const bool saved = tree.Save();
        tree.DetachFile();
        return saved ? 0 : 4;
    });
    const int status = child.Wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 4) << "the save claimed success";
    EXPECT_EQ(child.Messages(), "Can't write out memory of category events to " + path + "\n");
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(OtherFiles(home.Path(), {"cats.wfx"}), std::vector<std::string>{});
}

// Home holds the four data files but the program may not create files in it. As root, which
// writes anywhere whatever the permission bits, the child gives up root for "nobody" first;
// otherwise the folder is made read-only. Either way the failure is the one a user meets: the
// temporary file of the save cannot be created (EACCES).
TEST(CrashSafeSave, UnwritableHomeKeepsEveryFileAndSaysSo) {
    CTempDir root;
    const std::string home = root.File("home");
    fs::create_directory(home);
    WriteLargeUrlDatabase(home + "/urls.wfx");
    WriteLargeCategoryFile(home + "/cats.wfx");
    {
        CSiteFilterList filters;
        ASSERT_TRUE(filters.Open(home + "/filters.wfx"));
        filters.AddFilter(std::make_unique<CSiteFilter>(CSiteFilter::kUrlFilter, "ads.example"));
        ASSERT_TRUE(filters.Save());
        filters.DetachFile();
        CWordList stop;
        ASSERT_TRUE(stop.Open(home + "/stop.wfx", CWordList::kUpperCase | CWordList::kPlainFormat));
        stop.Add("THE");
        ASSERT_TRUE(stop.Save());
        stop.DetachFile();
    }
    const std::vector<std::string> names{"urls.wfx", "cats.wfx", "filters.wfx", "stop.wfx"};
    std::vector<std::string> before;
    for (const std::string& name : names)
        before.push_back(ReadFile(home + "/" + name));

    const bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        fs::permissions(root.Path(), fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
        fs::permissions(home, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        for (const std::string& name : names)
            fs::permissions(home + "/" + name, fs::perms::others_read, fs::perm_options::add);
    } else {
        fs::permissions(home, fs::perms::owner_read | fs::perms::owner_exec);
    }

    CChild child([&](int) {
        if (asRoot &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 5;
        // As the program does at close: every store writes its file.
        CSiteDatabase db;
        if (!db.Open(home + "/urls.wfx"))
            return 3;
        db.AddSite(std::make_unique<CSite>(GenerationUrl(1), "Generation", "", 1, 946684800));
        {
            CCategoryTree tree;
            if (!tree.Open(home + "/cats.wfx", db))
                return 3;
            tree.Register(std::make_unique<CCategory>(GenerationCategory(1)));
            CSiteFilterList filters;
            if (!filters.Open(home + "/filters.wfx"))
                return 3;
            filters.AddFilter(std::make_unique<CSiteFilter>(CSiteFilter::kWordFilter, "casino"));
            CWordList stop;
            if (!stop.Open(home + "/stop.wfx", CWordList::kUpperCase | CWordList::kPlainFormat))
                return 3;
            stop.Add("AND");
            if (stop.Save())
                return 4;
        }
        return 0; // the database saves at destruction, after the categories
    });
    const int status = child.Wait();
    if (!asRoot)
        fs::permissions(home, fs::perms::owner_all);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    // In the order the stores go: the word list silently, then the filters, the categories
    // and the URL database.
    EXPECT_EQ(child.Messages(), "Can't open " + home + "/filters.wfx" +
                                    "to write site filter strategies.\n"
                                    "Can't write out memory of category events to " +
                                    home + "/cats.wfx\n" +
                                    "Can't open url database for writing.\n");
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(ReadFile(home + "/" + names[i]), before[i]) << names[i];
    EXPECT_EQ(OtherFiles(home, names), std::vector<std::string>{});
}

} // namespace
