#pragma once
// The window's way of letting the user choose a phone: the device dialog,
// then a busy indicator with Cancel while the phone is searched for its
// file transfer service. The window keeps painting during the search.

#include "bluetooth/PhoneChooser.h"

class DialogRunner;
class QWidget;

class QtPhoneChooser : public Brask::PhoneChooser {
public:
    // Error codes of chooseDevices when there is nothing to choose from.
    static constexpr int NoBluetoothService = 1062; // no system bus, or BlueZ is not running
    static constexpr int NoAdapter = 1167;          // BlueZ runs without an adapter
    static constexpr int NoAnswer = 1460;           // BlueZ did not answer in time

    // `parent` owns the dialogs shown; `runner` shows the device dialog and
    // must outlive this object (the window swaps it with setDialogRunner).
    // The wait for the search also ends when `abandoned` turns true (the
    // window is being closed).
    QtPhoneChooser(QWidget* parent, DialogRunner* runner, std::function<bool()> abandoned = {});

    void setDialogRunner(DialogRunner* runner) { m_runner = runner; }

    int chooseDevices(int& count, std::array<std::uint8_t, 6>& address) override;
    // The last choice failed because Bluetooth cannot be used, and the
    // dialog has said why: no box needs to say it again.
    bool failureExplained() const { return m_failureExplained; }
    bool waitForSearch(const std::function<bool(int ms)>& waitFor) override;

private:
    QWidget* m_parent;
    DialogRunner* m_runner;
    std::function<bool()> m_abandoned;
    bool m_failureExplained = false;
};
