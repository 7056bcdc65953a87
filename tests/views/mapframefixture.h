#pragma once

#include "model/errorreport.h"
#include "model/site.h"
#include "model/sitedatabase.h"
#include "model/wordentry.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "tests/support/currentdirectory.h"
#include "tests/support/tempdir.h"
#include "tests/views/mapnodes.h"

#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// A created main frame over an empty store in a private home folder (the current directory)
// with a private settings folder and DDE folder; errors are recorded instead of shown.
class MapFrameFixture : public ::testing::Test {
protected:
    MapFrameFixture() : m_inHome(m_home.Path()) {
        const QString config = QString::fromStdString(m_config.Path());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);
        // The frame's DDE sockets go to a private folder too.
        ::setenv("WAYFOLD_DDE_DIR", m_config.File("dde").c_str(), 1);
        QFile license(QString::fromStdString(m_home.File("license.txt")));
        if (license.open(QIODevice::WriteOnly))
            license.write("license\n");
        license.close();
        m_previousHandler =
            SetErrorHandler([this](const std::string& text, bool) { m_errors.push_back(text); });
        m_frame = std::make_unique<CMainFrame>(&m_document);
        m_frame->Create();
    }
    ~MapFrameFixture() override {
        m_frame.reset();
        SetErrorHandler(m_previousHandler);
    }

    CSiteDatabase& Database() { return *m_frame->Database(); }

    // Nodes put straight into the store; the document is told that the store changed.
    CSite* Visited(const std::string& url, int x, int y) {
        CSite* site = AddVisitedAt(Database(), url, x, y);
        m_document.NoteStoreChanged();
        return site;
    }
    CSite* Link(CSite& owner, const std::string& url, int x, int y) {
        CSite* link = AddLinkAt(owner, url, x, y);
        m_document.NoteStoreChanged();
        return link;
    }
    CWordEntry* Word(const std::string& text, int x, int y, std::vector<CSite*> sites) {
        CWordEntry* word = AddWordAt(Database(), text, x, y, sites);
        m_document.NoteStoreChanged();
        return word;
    }

    CTempDir m_home;
    CTempDir m_config;
    CCurrentDirectory m_inHome;
    CKorvoDoc m_document;
    ErrorHandler m_previousHandler;
    std::vector<std::string> m_errors;
    std::unique_ptr<CMainFrame> m_frame;
};
