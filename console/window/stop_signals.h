#ifndef VERDANPOST_CONSOLE_WINDOW_STOP_SIGNALS_H_
#define VERDANPOST_CONSOLE_WINDOW_STOP_SIGNALS_H_

#include <QObject>

class QSocketNotifier;

namespace verdanpost {

// Turns SIGTERM and SIGHUP into stopRequested() on the window's thread, so
// that the program can write its settings as on a normal close before it
// ends. The signal handler only writes the signal's number into a pipe of
// its own; everything else happens when the event loop reads it. One per
// process; the handlers go back to the default ones when it is destroyed.
class StopSignals : public QObject {
  Q_OBJECT

 public:
  explicit StopSignals(QObject* parent = nullptr);
  ~StopSignals() override;
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Whether the handlers are in place (the pipe could be made).
  bool active() const { return notifier_ != nullptr; }

 signals:
  void stopRequested(int signal_number);

 private:
  void ReadSignals();

  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_STOP_SIGNALS_H_
