#pragma once
// The editor's two windows on Win32. Each turns clicks into calls on the
// editor's core and shows what comes back.
#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "editor_paths.hpp"
#include "send_session.hpp"
#include "vexlo_comm.hpp"

namespace kelvane::win {

class formAdvanced;

// Common to both windows: the window object behind its handle.
class Form {
public:
    virtual ~Form();
    HWND window() const { return window_; }
    bool isLoaded() const { return loaded_; }

protected:
    static void RegisterFormClass(const char* name);
    void Create(const char* className, const char* caption, int width, int height);
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void command(int id, int code) = 0;
    virtual void close() = 0;
    // Shows this window and gives it the keyboard.
    void present();
    // The last load step and the unload step of both windows: the link's
    // settings by name; a failure is shown and the window goes on. Settings
    // that could not be read (`unread`, and the link's) are said once the
    // window is up.
    void FinishLoad(VexloComm& link, HWND firstFocus, std::string unread = {});
    void Unload(VexloComm& link);

    HWND window_ = nullptr;
    bool loaded_ = false;
    HWND focus_ = nullptr;  // the control that gets the keyboard when the window is active again
    std::string unread_;
};

class formSimple : public Form {
public:
    formSimple();
    ~formSimple() override;

    // Fills the selector, then LoadSettings("MySettings").
    void Load();
    // SaveSettings("MySettings") and hides the window.
    void Unload();
    void Exit();
    void ShowAgain();
    // Ends the program once neither window is loaded.
    void CheckProgramEnd();

    static int32_t cBinary(const std::string& BinaryString);
    void UpdateValue();

    const std::string& currentValue() const { return CurrentValue; }
    VexloComm& link() { return *VexloComm1; }
    const ParallelPort& parallelPort() const { return parallelPort_; }
    formAdvanced* advanced() { return advanced_.get(); }

private:
    void command(int id, int code) override;
    void close() override;
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Uncheck_all_Click();
    void cmdSend2Prn_Click();
    void cmdAdv_Click();

    HWND cboMemSw = nullptr;
    std::array<HWND, 16> Check1{};
    HWND Frame2 = nullptr, Label1 = nullptr, Label2 = nullptr, Image1 = nullptr;
    std::unique_ptr<VexloComm> VexloComm1;
    HBITMAP picture_ = nullptr;
    std::string CurrentValue;
    std::string CurrentSwitch;
    ParallelPort parallelPort_;
    std::unique_ptr<formAdvanced> advanced_;
};

class formAdvanced : public Form {
public:
    explicit formAdvanced(formSimple* simple);
    ~formAdvanced() override;

    void Load();
    void Unload();

    // The key filter: the code as decimal text, or "0" for a refused key.
    static std::string LimitTextInput(int keyCode);

    const SessionState& session() const { return session_; }
    VexloComm& link() { return *VexloComm1; }

private:
    void command(int id, int code) override;
    void close() override;
    static LRESULT CALLBACK ValueBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
    // WM_CHAR in Text1(index); returns the code to hand on, 0 to drop it.
    int Text1_KeyPress(int index, int keyCode);
    bool Text1_Paste(int index);
    void Uncheck_Click(int index);
    void cmdSndPrn_Click();
    void cmdReset_Click();
    void Start_Session_Click();
    void Save_switches_Click();
    void Load_Switches_Click();
    void cmdSimple_Click();
    void cmdExit_Click();
    // The save or open dialog; "" when cancelled.
    std::string RunFileDialog(bool save);

    formSimple* simple_;
    std::array<HWND, RowCount> Combo1{};
    std::array<HWND, RowCount> Text1{};
    std::array<WNDPROC, RowCount> textProc_{};
    std::unique_ptr<VexloComm> VexloComm1;
    SessionState session_;
    // One file dialog serves both buttons: its name stays between uses.
    std::array<wchar_t, MAX_PATH> dialogFileName_{};
};

}  // namespace kelvane::win
