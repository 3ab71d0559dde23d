#pragma once
// For the tests that drive the program as a whole: its windows wired as the program wires them,
// and a closer of the dialogs and menus the commands open.

#include "app/DataModule.h"
#include "search/FormObjList.h"
#include "ui/FormMap.h"
#include "ui/FormMsg.h"
#include "ui/FormSelectInfo.h"
#include "ui/ObjectListLink.h"

#include <QApplication>
#include <QTimer>

struct Program {
  explicit Program(TDataModuleVANDREL& data)
      : Form(data), Info(data, &Form), List(data, *Form.Map, &Form), Msg(data, &Form) {
    Form.SetSelectInfo(&Info);
    Form.SetFormMsg(&Msg);
    ConnectObjectList(List, Form, Info);
  }
  TFormMap Form;
  TFormSelectInfo Info;
  TFormObjList List;
  TFormMsg Msg;
};

// Closes every modal window (and, when asked, every pop-up menu) as soon as it shows.
class DialogCloser {
public:
  DialogCloser(int intervalMs, bool popups) {
    Timer.setInterval(intervalMs);
    QObject::connect(&Timer, &QTimer::timeout, [popups] {
      if (QWidget* popup = QApplication::activePopupWidget(); popup && popups) popup->close();
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    Timer.start();
  }
  void Stop() { Timer.stop(); }

private:
  QTimer Timer;
};
