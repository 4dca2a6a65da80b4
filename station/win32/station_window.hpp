#pragma once
// The station window on Win32: the image, the line, the ports with a row
// each, Start and ABORT. It turns clicks into calls on the station's core and
// shows what the core says.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image_check.hpp"
#include "station.hpp"
#include "station_settings.hpp"

namespace station::win {

// What the command line asks for.
struct StartRequest {
    std::vector<std::string> ports;
    std::string image;
};

class StationWindow {
public:
    explicit StationWindow(const StartRequest& request);
    ~StationWindow();
    StationWindow(const StationWindow&) = delete;
    StationWindow& operator=(const StationWindow&) = delete;

    HWND window() const { return dialog_; }

private:
    struct Row {
        std::string device;  // as the port layer opens it
        std::string name;    // as the row shows it
        bool byHand = false;
        bool ticked = false;
        HWND check = nullptr, mark = nullptr, bar = nullptr, state = nullptr, counts = nullptr;
        int colour = 0;  // index into the marks' colours
    };

    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK RowsProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Command(int id, int code);

    void Load(const StartRequest& request);
    void Save();

    // The image
    void ChooseImage();
    void TakeImage(const std::string& path);
    void WatchImage();

    // The ports
    void FindPorts();
    void AddDevice(const std::string& device, bool tick);
    void RebuildRows();
    void PlaceRows();
    void ScrollRows(int code, int position);
    void ShowRow(Row& row);
    void EnsureRowVisible(int index);

    // A unit
    void Start();
    void Abort();
    void Poll();
    void RunEnded();
    bool Running() const { return station_.Running(); }
    // The station's state of the port in the unit last started; null when
    // the port was not in it.
    const PortStatus* StatusOf(const Row& row) const;

    void ChooseRecord();
    void UpdateButtons();
    void Focus(const char* name);
    void UpdateTotals();
    HBRUSH MarkBrush(HWND control);
    quarveld::PortSettings LineSettings() const;

    HWND dialog_ = nullptr;
    HWND rows_ = nullptr;
    std::vector<Row> portRows_;
    StationSettings settings_;
    int firstRow_ = 0;  // the top row shown

    std::shared_ptr<const HeldImage> image_;
    std::string imageFacts_;

    Station station_;
    bool closing_ = false;
    bool refreshPending_ = false;
    bool stopShown_ = false;
};

// The program's message loop: keyboard navigation in the window.
int RunMessageLoop(HWND window);

}  // namespace station::win
