#include "CityNames.h"

#include <vector>

namespace demo {

QString StreetName(int n) {
  static const QStringList names =
      QString::fromUtf8(
          "Шевченка,Івана Франка,Лесі Українки,Богдана Хмельницького,Грушевського,Сагайдачного,"
          "Коцюбинського,Сковороди,Василя Стуса,Довженка,Котляревського,Січових Стрільців,Соборна,"
          "Садова,Лугова,Польова,Зелена,Миру,Незалежності,Калинова,Вишнева,Київська,Львівська,"
          "Одеська,Харківська,Полтавська,Чернігівська,Житомирська,Волинська,Подільська,Дніпровська,"
          "Озерна,Березова,Липова,Кленова,Тополина,Шкільна,Заводська,Вокзальна,Госпітальна,Ринкова,"
          "Театральна,Паркова,Набережна,Весняна,Сонячна,Квіткова,Молодіжна,Ярослава Мудрого,"
          "Володимирська,Князя Ольги,Антоновича,Лисенка,Микитенка,Ольжича,Петлюри,Степана Бандери,"
          "Героїв Майдану,Гетьманська,Козацька,Чумацька,Кобзарська,Запорізька,Черкаська,Вінницька,"
          "Рівненська,Тернопільська,Хотинська,Карпатська,Гірська,Лісова,Степова,Річкова,Ставкова")
          .split(',');
  const int round = n / int(names.size());
  const QString base = names[n % int(names.size())];
  return round == 0 ? base : QString("%1-а %2").arg(round + 1).arg(base);
}

const std::vector<BuildingKind>& PublicBuildingKinds() {
  static const std::vector<BuildingKind> kinds = {
      {QString::fromUtf8("Школа №"), QString::fromUtf8("школа"), '&', 0x00008000, true},
      {QString::fromUtf8("Дитячий садок №"), QString::fromUtf8("дитячий садок"), 'J', 0x00FF00FF,
       true},
      {QString::fromUtf8("Поліклініка"), QString::fromUtf8("лікарня"), 'T', 0x000000FF, false},
      {QString::fromUtf8("Аптека №"), QString::fromUtf8("аптека"), 'V', 0x00008080, true},
      {QString::fromUtf8("Бібліотека"), QString::fromUtf8("бібліотека"), '&', 0x00800000, false},
      {QString::fromUtf8("Храм"), QString::fromUtf8("церква"), 'X', 0x0000A0C0, false},
      {QString::fromUtf8("Поштове відділення №"), QString::fromUtf8("пошта"), '*', 0x00C08000,
       true},
      {QString::fromUtf8("Ринок"), QString::fromUtf8("ринок"), '<', 0x00404080, false},
      {QString::fromUtf8("Кінотеатр"), QString::fromUtf8("кінотеатр"), '\xB3', 0x00800080, false},
  };
  return kinds;
}

} // namespace demo
