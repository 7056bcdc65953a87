#pragma once

#include "model/errorreport.h"
#include "shell/korvodoc.h"
#include "shell/mainframe.h"
#include "tests/support/currentdirectory.h"
#include "tests/support/tempdir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QThread>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A main frame in a private home folder (the current directory, so "Home" defaults to it)
// with a private settings file, and a recorder in place of the error box.
class CShellFixture : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(m_config.Path()));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(m_config.Path()));
        // The frame's DDE sockets go to a private folder (made 0700 by the frame).
        setenv("WAYFOLD_DDE_DIR", m_config.File("dde").c_str(), 1);
        WriteFile("license.txt", "Test license\n");
        m_cwd = std::make_unique<CCurrentDirectory>(m_home.Path());
        m_previousHandler =
            SetErrorHandler([this](const std::string& text, bool) { m_errors.push_back(text); });
    }

    void TearDown() override {
        if (m_frame)
            m_frame->close();
        m_frame.reset();
        m_document.reset();
        SetErrorHandler(m_previousHandler);
        m_cwd.reset();
    }

    void WriteFile(const std::string& name, const std::string& bytes) {
        std::ofstream out(m_home.File(name), std::ios::binary);
        out << bytes;
    }
    bool HomeHasFile(const std::string& name) const {
        return QFile::exists(QString::fromStdString(m_home.File(name)));
    }

    // A value in group "Wayfold" of the settings file, written before the frame is made.
    void PutSetting(const QString& key, const QVariant& value) {
        QSettings store("Quellon", "Wayfold");
        store.setValue("Wayfold/" + key, value);
    }
    QVariant SettingInFile(const QString& key) const {
        QSettings store(QString::fromStdString(m_config.Path() + "/Quellon/Wayfold.conf"),
                        QSettings::IniFormat);
        return store.value("Wayfold/" + key);
    }

    CMainFrame& Frame() {
        if (!m_frame) {
            m_document = std::make_unique<CKorvoDoc>();
            m_frame = std::make_unique<CMainFrame>(m_document.get());
            QObject::connect(m_frame.get(), &CMainFrame::StatusTextChanged,
                             [this](const QString& text) { m_statusTexts.push_back(text); });
            m_frame->Create();
        }
        return *m_frame;
    }

    // Closes the frame the way the user does (settings and data files written).
    void CloseFrame() {
        ASSERT_TRUE(m_frame);
        m_frame->close();
    }

    // Runs the event loop until `done` holds or `ms` pass; returns `done()`.
    static bool WaitUntil(const std::function<bool()>& done, int ms = 10000) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(2);
        }
        return done();
    }

    CTempDir m_home;
    CTempDir m_config;
    std::unique_ptr<CCurrentDirectory> m_cwd;
    std::unique_ptr<CKorvoDoc> m_document;
    std::unique_ptr<CMainFrame> m_frame;
    std::vector<std::string> m_errors;
    std::vector<QString> m_statusTexts;
    ErrorHandler m_previousHandler;
};
