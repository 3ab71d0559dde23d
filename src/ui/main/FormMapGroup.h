#pragma once
// A command group of the main window: its handlers, what they keep between calls, and the
// windows they open, in an object of its own that the window makes at its creation (a child of
// the window, gone with it). A group reaches the window's components and the other groups
// through `Form`.

#include <QObject>

class TDataModuleVANDREL;
class TFAMap;
class TFormMap;

class TFormMapGroup : public QObject {
public:
  TFormMapGroup(TFormMap& form, TDataModuleVANDREL& data);

protected:
  TFormMap& Form;
  TDataModuleVANDREL& Data;
  TFAMap* const Map;
};
