#pragma once

#include <QWidget>

class AddInConnect;
class QTimer;

// The start-up splash of an interactive start. Two parties must be ready before it
// goes: the main window (its first Listen calls ClearIfReady) and the splash's own
// minimum time (tmrEnd calls ClearIfReady). The second call unloads the splash, which
// enables the main window, shows the task guide modally when the setting asks for it,
// and only then lets the main window listen.
//
//   t = 0      AddInConnect::Show creates the main window (disabled) and the splash
//   t = 1 s    tmrStart: Connect->Show() loads and shows the main window; its Listen
//              finds the splash up and calls ClearIfReady (the first party)
//   t ≈ 5 s    tmrEnd: ClearIfReady again → unload → enable → guide → Listen
//
// A plain widget with the splash flags rather than QSplashScreen: that one hides
// itself on a click, which would skip the unload and leave the main window disabled.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    static constexpr int StartInterval = 1000;
    static constexpr int EndInterval = 5000;

    // Creates the splash, shows it modeless and keeps it as the one splash. It goes
    // when the launcher or the main window goes.
    static frmSplash *showSplash(AddInConnect *launcher);
    // The splash while it is up; null before, during and after its unload.
    static frmSplash *current();
    // Test seam: the two timer intervals; 0 restores the default of each.
    static void setIntervals(int startMs, int endMs);

    ~frmSplash() override;

    // Called by the main window's Listen and by tmrEnd: the first call marks one
    // party ready, the second unloads.
    void ClearIfReady();
    // The main window was closed before the splash went: the splash goes at once, and
    // since it was the last window left, the program ends.
    void MainWindowClosed();
    bool ready() const { return m_ready; }

    QTimer *tmrStart() const { return m_tmrStart; }
    QTimer *tmrEnd() const { return m_tmrEnd; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    frmSplash();
    void tmrStart_Timer();
    void unload();
    // Goes at once, without the unload's steps: what it waited for is gone.
    // Stops both timers, raises the unloading guard and hides; what follows differs.
    void leave();
    void retire();

    QTimer *m_tmrStart = nullptr;        // one-shot by disabling itself
    QTimer *m_tmrEnd = nullptr;          // repeats until the unload stops it
    bool m_ready = false;                // one of the two parties has called
    // The unload shows a modal guide, and timers keep firing in its event loop: a
    // second unload would show a second guide and listen twice.
    bool m_unloading = false;
};
