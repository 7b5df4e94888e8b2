#pragma once
// A real console window for tests in its own process, created modelessly so that the test's
// own loop drives it, with an empty pipe, its service on the test's port (ConsolePort()). A test
// may give the view a smaller capacity first.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include "log/log_registry.h"
#include "net/zel_server_socket.h"
#include "net/zel_socket.h"
#include "testkit/console_texts.h"
#include "testkit/loopback_listener.h"
#include "testkit/pump.h"
#include "testkit/temp_dir.h"
#include "ui/zel_log_console_dlg.h"

class ConsoleFixture : public ::testing::Test {
protected:
    explicit ConsoleFixture(size_t viewCapacity = 0) : m_viewCapacity(viewCapacity) {}
    void SetUp() override
    {
        Pipe().Clear();
        if (m_viewCapacity)
            m_dlg.SetViewCapacity(m_viewCapacity);
        m_dlg.SetServicePort(ConsolePort());
        ASSERT_TRUE(m_dlg.Create());
    }

    static CLogPipe& Pipe() { return CLogRegistry::GetInstance()->m_pipe; }
    CString ViewText() const { return m_dlg.m_editLog.GetWindowText(); }
    size_t ViewLength() const { return static_cast<size_t>(m_dlg.m_editLog.GetWindowTextLength()); }
    // Where the caret stands (start and end of the selection).
    std::pair<int, int> Selection() const
    {
        int start = -1, end = -1;
        m_dlg.m_editLog.GetSel(start, end);
        return {start, end};
    }
    void Click(int id)
    {
        m_dlg.Send(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(m_dlg.GetDlgItem(id)));
    }

    size_t m_viewCapacity;
    CZelLogConsoleDlg m_dlg;
};

// The console with a real listener on an ephemeral loopback port. Each test's clients are gone
// by its end: their connections must have freed themselves, once no text holds them paused.
class ListeningConsoleFixture : public ConsoleFixture {
protected:
    using ConsoleFixture::ConsoleFixture;
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        ASSERT_EQ(CZelSocket::LiveCount(), 0u);
        m_port = ListenOnLoopback(m_server);
        ASSERT_NE(m_port, 0);
    }
    void TearDown() override
    {
        Pipe().Clear();
        EXPECT_TRUE(PumpUntil([] { return CZelSocket::LiveCount() == 0; })) << "a connection outlived its client";
    }

    CZelServerSocket m_server;
    u_short m_port = 0;
};

// Stands in for the operator at a save: answers the dialog from a script, lets the test run the
// window while it is open (as the dialog's own loop would), and reads the message boxes instead
// of showing them.
class ScriptedOperator : public CSaveLogPrompts {
public:
    struct Box {
        HWND owner;
        CString text;
        UINT type;
    };

    bool AskPath(CString& path) override
    {
        ++m_asked;
        if (m_whileOpen)
            m_whileOpen();
        if (!m_answer)
            return false;
        path = *m_answer;
        return true;
    }
    void Tell(CWnd& owner, const CString& text, UINT type) override { m_boxes.push_back({owner.m_hWnd, text, type}); }

    std::optional<CString> m_answer;
    std::function<void()> m_whileOpen;
    int m_asked = 0;
    std::vector<Box> m_boxes;
};

// A console fixture whose save button is answered by m_operator, with a folder for the files.
template <class Fixture = ConsoleFixture>
class SavingConsoleFixture : public Fixture {
protected:
    using Fixture::Fixture;
    void SetUp() override
    {
        this->m_dlg.SetSaveLogPrompts(&m_operator);
        Fixture::SetUp();
    }

    ScriptedOperator m_operator;
    TempDir m_dir;
};
