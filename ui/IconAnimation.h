#pragma once

#include <QIcon>
#include <QObject>
#include <QTimer>

// The download animation: every 350 ms while a download runs, the next of twelve steps sweeping over the
// seven frames and back.
class IconAnimation : public QObject {
    Q_OBJECT

  public:
    explicit IconAnimation(QObject* parent);

    void Start();
    void Stop();
    bool IsRunning() const { return timer_.isActive(); }
    // The frame (0 to 6) shown at step 0 to 11.
    static int FrameAt(int step);

  signals:
    void frameChanged(const QIcon& frame);
    void stopped();

  private:
    void Tick();

    QTimer timer_;
    int step_ = 0;
};
