#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "ui/OVControlsUtil.h"
#include "ui/OVSkinUtil.h"

// Every GUI test runs with its own process-wide skin, freed afterwards.
class TSkinnedTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateOVSkin(); }
  void TearDown() override { FreeOVSkin(); }
};

// The pointer entering and leaving a control.
inline void Enter(QWidget* aWidget) {
  const QPointF p(1, 1);
  QEnterEvent e(p, aWidget->mapTo(aWidget->window(), p), aWidget->mapToGlobal(p));
  QApplication::sendEvent(aWidget, &e);
}

inline void Leave(QWidget* aWidget) {
  QEvent e(QEvent::Leave);
  QApplication::sendEvent(aWidget, &e);
}

// A left click whose pointer wobbles by a pixel or two between press and release.
inline void JitteryClick(QWidget* aControl) {
  const QPoint c = aControl->rect().center();
  QTest::mousePress(aControl, Qt::LeftButton, {}, c);
  QTest::mouseMove(aControl, c + QPoint(1, 1));
  QTest::mouseMove(aControl, c + QPoint(2, 1));
  QTest::mouseRelease(aControl, Qt::LeftButton, {}, c + QPoint(2, 1));
}

// Where a window should be after the drag events since the last call: moved by aBy when the
// form moved it itself, or where it was when the drag went to the window system, which moves
// it by the real pointer (Windows). A drag below the drag distance (aBy empty) is handed
// over to no one.
class TDragCheck {
 public:
  QPoint After(const QPoint& aFrom, const QPoint& aBy) {
    const int n = TOVWindowDrag::SystemMoves();
    const bool handed = n > FSeen;
    FSeen = n;
    if (aBy.isNull()) {
      EXPECT_FALSE(handed) << "handed over below the drag distance";
    }
    return handed ? aFrom : aFrom + aBy;
  }

 private:
  int FSeen = TOVWindowDrag::SystemMoves();
};

// Processes events until aDone holds or aMs pass; the result of aDone at the end.
inline bool WaitFor(const std::function<bool()>& aDone, int aMs = 5000) {
  QElapsedTimer t;
  t.start();
  while (!aDone()) {
    if (t.elapsed() > aMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Runs aFn on the modal widget of type T as soon as one is shown. A box still open after aMs
// is closed, so a failing test never hangs in a modal loop.
template <class T>
void WhenModal(std::function<void(T*)> aFn, int aMs = 5000) {
  auto* poll = new QTimer(qApp);
  auto* started = new QElapsedTimer;
  started->start();
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, qApp, [poll, started, aFn, aMs] {
    auto* box = dynamic_cast<T*>(QApplication::activeModalWidget());
    if (box) {
      poll->stop();
      poll->deleteLater();
      delete started;
      QPointer<QWidget> guard(box);
      aFn(box);
      QTimer::singleShot(aMs, qApp, [guard] {
        if (guard && guard->isVisible()) {
          ADD_FAILURE() << "the box stayed open";
          guard->close();
        }
      });
      return;
    }
    if (started->elapsed() > aMs) {
      poll->stop();
      poll->deleteLater();
      delete started;
      ADD_FAILURE() << "no modal box was shown";
    }
  });
  poll->start();
}
