#include "action_table.h"

#include <QIconEngine>
#include <QPainter>

// The images live in a resource of this static library; it must be
// registered before the first use.
static void RegisterImages() { Q_INIT_RESOURCE(images); }

namespace qel {

const QList<ActionRow>& ActionRows() {
  // Name, category, caption, hint, image, state at design. No shortcuts.
  static const QList<ActionRow> rows = {
      {"AAllView", "View", "Показать весь спектр", "Показать весь спектр", 0, 0},
      {"AOpenFile", "Spectr", "Открыть...", "Открыть спектр из файла", 2, 0},
      {"ASaveFileAs", "Spectr", "Сохранить...", "Сохранить спектр", 1, Disabled},
      {"ACloseSpectr", "Spectr", "Закрыть", "Убрать текущий спектр", 3, 0},
      {"AResetDiap", "Razv", "Расширить диапазон перестройки", "Расширить диапазон пересройки до максимума", 4, 0},
      {"AIncScale", "View", "Увеличить масштаб ординаты", "", -1, 0},
      {"ADecScale", "View", "Уменьшить масштаб ординаты", "", -1, 0},
      {"AVisir1", "View", "Визир 1", "", -1, Checkable},
      {"AVisir2", "View", "Визир 2", "", -1, Checkable},
      {"AAnalyse", "Spectr", "Анализ", "Анализ принятых спектров", 10, Checkable},
      {"AReceive", "Spectr", "Прием", "Прием спектров от спектрометра", 9, Checkable},
      {"AMessageView", "View", "Окно сообщений", "", -1, Checkable},
      {"ASetupCom", "Setup", "Выбор порта...", "", -1, 0},
      {"AStop", "Razv", "СТОП", "Остановить развертку", 12, 0},
      {"AStart", "Razv", "ПУСК", "Продолжить развертку", 13, Disabled},
      {"ARepaint", "View", "Перерисовать", "", -1, 0},
      {"AExit", "Spectr", "Выход", "", -1, 0},
      {"AMouseSelect", "Razv", "Определить  мышью", "Определить границы мышью", 11, Checkable},
      {"AOpenUnits", "Setup", "Единицы измерения...", "", -1, 0},
      {"AADCView", "View", "ВХОД  АЦП", "Текущие измерения по входу АЦП", -1, Checkable},
      {"AViewScale", "View", "Масштаб по горизонтали", "Задание области просмотра по абсциссе", 5, Checkable},
      {"ACorr", "View", "Коррекция", "", -1, Checkable},
      {"AToolBar", "View", "Панель инструментов", "Показать/скрыть панель инструментов", -1, Checkable | Checked},
      {"AAutoSave", "Setup", "Автосохранение...", "", -1, 0},
      // An addition: every pass of an accumulation series kept.
      {"APassArchive", "Setup", "Архив проходов...", "", -1, 0},
      {"AFilterSetup", "Functions", "ФНЧ...", "", 14, 0},
      {"AFilter", "Functions", "ФНЧ", "Фильтрация текущего спектра", 14, 0},
      {"ARealTime", "Setup", "Прием спектров...", "", -1, 0},
      {"APrint", "Spectr", "Печать", "Печать спектра с текущими установками принтера", 15, 0},
      {"APrintSetup", "Spectr", "Печать спектра...", "", 15, 0},
      {"AColorSetup", "Setup", "Цвета...", "", -1, 0},
      {"APrintForm", "Spectr", "Печать главного окна", "", -1, 0},
      {"ASwLPF", "Setup", "ФНЧ(р)", "ФНЧ реального времени", 16, Checkable},
      {"ASWSum", "Setup", "Сумма", "Накопление спектров", 17, Checkable},
      {"AAbout", "Setup", "О программе...", "", -1, 0},
      {"AIntegr", "Functions", "Интеграл", "Подсчет интеграла", 21, 0},
      {"AGlissSetup", "Functions", "Сглаживание...", "", 18, 0},
      {"AGliss", "Functions", "Сглаживание", "Сглаживание спектра", 18, 0},
      {"ABackUp", "Functions", "Отмена", "Вернуться к предыдущему", 19, Disabled},
      {"AEqualize", "Functions", "Выравнивание", "Выравнивание спектра", 20, 0},
      {"AMinMax", "Functions", "MinMax", "Поиск минимума и максимума", 22, 0},
      // An addition: every line of the view range, with fits and error bars.
      {"ALines", "Functions", "Параметры линий", "Все линии спектра в области просмотра: центр, ширина, амплитуда, g",
       -1, 0},
      {"AStandVisir", "View", "Установить визиры", "", -1, 0},
  };
  return rows;
}

QIcon QelImage(int index) {
  static const bool registered = (RegisterImages(), true);
  (void)registered;
  if (index < 0 || index >= ImageCount) return {};
  // One icon per image for the program's life: copies share its rendered
  // pixmaps, so a blinking tool button does not render its SVG again.
  static QIcon icons[ImageCount];
#ifdef QEL_IMAGES_PNG
  // Drawn to PNG at build time (NN.png and NN@2x.png): a Qt without SVG.
  if (icons[index].isNull()) icons[index] = QIcon(QString(":/images/%1.png").arg(index, 2, 10, QChar('0')));
#else
  if (icons[index].isNull()) icons[index] = QIcon(QString(":/images/%1.svg").arg(index, 2, 10, QChar('0')));
#endif
  return icons[index];
}

namespace {

// Draws whichever image the shared index names, through that image's own
// icon (whose rendered pixmaps are kept for the program's life).
class SwitchedImageEngine : public QIconEngine {
 public:
  explicit SwitchedImageEngine(std::shared_ptr<int> index) : index_(std::move(index)) {}
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    QelImage(*index_).paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return QelImage(*index_).actualSize(size, mode, state);
  }
  // `size` is in device pixels: the image's own icon is asked at a ratio of 1.
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return QelImage(*index_).pixmap(size, 1.0, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return QelImage(*index_).availableSizes(mode, state);
  }
  bool isNull() override { return QelImage(*index_).isNull(); }
  QString key() const override { return QStringLiteral("QelSwitchedImage"); }
  QIconEngine* clone() const override { return new SwitchedImageEngine(index_); }

 private:
  std::shared_ptr<int> index_;
};

}  // namespace

SwitchedImage::SwitchedImage(int index)
    : index_(std::make_shared<int>(index)), icon_(new SwitchedImageEngine(index_)) {}

QHash<QString, QAction*> BuildActions(QWidget* owner, const QList<QAction*>& existing) {
  QHash<QString, QAction*> byName;
  for (QAction* a : existing) byName.insert(a->objectName(), a);
  for (const ActionRow& row : ActionRows()) {
    QAction*& a = byName[row.Name];
    if (!a) {
      a = new QAction(owner);
      a->setObjectName(row.Name);
    }
    a->setProperty("Category", row.Category);
    a->setText(row.Caption);
    a->setIconText(row.Caption);
    a->setToolTip(*row.Hint ? QString(row.Hint) : QString(row.Caption));
    a->setIcon(QelImage(row.Image));
    a->setProperty("ImageIndex", row.Image);
    a->setCheckable(row.Flags & Checkable);
    a->setChecked(row.Flags & Checked);
    a->setEnabled(!(row.Flags & Disabled));
    // Menus show the images beside the captions, as the tool bars do.
    a->setIconVisibleInMenu(row.Image >= 0);
    a->setShortcuts({});
  }
  return byName;
}

}  // namespace qel
