#include "GetEmployeeForm.h"

#include <algorithm>
#include <array>
#include <exception>

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidget>

#include "AnsiText.h"
#include "ErrorReport.h"
#include "TavrinReserveGuestDM.h"

namespace selvo::ui {

namespace {

constexpr int VkReturn = 13;

QFont Face(int pixelSize)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

// Runs a handler; a failure goes to the general error report and the dialog stays as it is.
template <typename Handler> void Guarded(Handler handler)
{
    try {
        handler();
    } catch (const std::exception& failure) {
        ShowErrorReport(failure.what());
    } catch (...) {
        ShowErrorReport("Unknown error");
    }
}

bool IsEnter(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The value editor of SearchVLE: Enter while editing takes the value and searches.
class SearchValueDelegate final : public QStyledItemDelegate
{
public:
    SearchValueDelegate(TGetEmployeeForm& form, QObject* parent) : QStyledItemDelegate(parent), m_form(form) {}

protected:
    bool eventFilter(QObject* editor, QEvent* event) override
    {
        if (IsEnter(event)) {
            auto* widget = static_cast<QWidget*>(editor);
            emit commitData(widget);
            emit closeEditor(widget, QAbstractItemDelegate::NoHint);
            m_form.SearchVLEKeyDown(VkReturn);
            return true;
        }
        // Tab leaves the editor for the next control, as it does when no value is being edited.
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
                auto* widget = static_cast<QWidget*>(editor);
                emit commitData(widget);
                emit closeEditor(widget, QAbstractItemDelegate::NoHint);
                m_form.LeaveSearchVLE(key == Qt::Key_Tab);
                return true;
            }
        }
        // Esc cancels the dialog, not only the edit.
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            emit closeEditor(static_cast<QWidget*>(editor), QAbstractItemDelegate::RevertModelCache);
            m_form.cancelBTNClick();
            return true;
        }
        return QStyledItemDelegate::eventFilter(editor, event);
    }

private:
    TGetEmployeeForm& m_form;
};

} // namespace

// mainDBG's rows: EmployeeZQ through EmployeeDS, columns last name, first name, personal number,
// titled by the fields' labels. The grid's current row is the query's current row, both ways.
class EmployeeGridModel final : public QAbstractTableModel, private data::DataSourceListener
{
public:
    EmployeeGridModel(data::TTavrinReserveGuestDM& dm, QObject* parent)
        : QAbstractTableModel(parent),
          m_dm(dm), m_columns{&dm.EmployeeZQlastname, &dm.EmployeeZQfirstname, &dm.EmployeeZQpersonalidentificator}
    {
        m_dm.EmployeeDS.AddListener(*this);
    }
    ~EmployeeGridModel() override { m_dm.EmployeeDS.RemoveListener(*this); }
    EmployeeGridModel(const EmployeeGridModel&) = delete;
    EmployeeGridModel& operator=(const EmployeeGridModel&) = delete;

    static constexpr int ColumnCount = 3;

    void SetView(QTableView& view)
    {
        m_view = &view;
        connect(view.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this](const QModelIndex& current) { Guarded([&] { MoveQuery(current.row()); }); });
        FollowQuery();
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        const data::TZQuery& query = m_dm.EmployeeZQ;
        return parent.isValid() || !query.Active() ? 0 : query.RecordCount();
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : ColumnCount;
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
            return {};
        }
        return FromAnsi(m_dm.EmployeeZQ.CellText(index.row(), *m_columns[static_cast<std::size_t>(index.column())]));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole) {
            return {};
        }
        if (orientation == Qt::Horizontal) {
            return section >= 0 && section < ColumnCount
                       ? FromAnsi(m_columns[static_cast<std::size_t>(section)]->DisplayLabel())
                       : QVariant();
        }
        // The row indicator marks the current row.
        return section == m_dm.EmployeeZQ.RecNo() ? QStringLiteral("\u25B8") : QString();
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

private:
    void RowsReloaded(data::TDataSource&) override
    {
        beginResetModel();
        endResetModel();
        FollowQuery();
    }
    void CurrentRowChanged(data::TDataSource&) override
    {
        if (rowCount() > 0) {
            emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
        }
        FollowQuery();
    }

    void MoveQuery(int row)
    {
        if (m_following || row < 0 || row >= rowCount() || row == m_dm.EmployeeZQ.RecNo()) {
            return;
        }
        m_dm.EmployeeZQ.MoveTo(row);
    }

    void FollowQuery()
    {
        if (m_view == nullptr) {
            return;
        }
        const int row = m_dm.EmployeeZQ.RecNo();
        if (row < 0 || row >= rowCount() || m_view->currentIndex().row() == row) {
            return;
        }
        m_following = true;
        const int column = std::max(m_view->currentIndex().column(), 0);
        m_view->setCurrentIndex(index(row, column));
        m_following = false;
    }

    data::TTavrinReserveGuestDM& m_dm;
    std::array<data::TField*, ColumnCount> m_columns;
    QTableView* m_view = nullptr;
    bool m_following = false;
};

TGetEmployeeForm::TGetEmployeeForm(data::TTavrinReserveGuestDM& dm, QWidget* parent)
    : QDialog(parent), m_dm(dm), m_search(dm)
{
    CreateControls();
}

TGetEmployeeForm::~TGetEmployeeForm() = default;

void TGetEmployeeForm::CreateControls()
{
    setObjectName(QStringLiteral("GetEmployeeForm"));
    setWindowTitle(QStringLiteral("Izaberite zaposlenog"));
    // Fixed single border; among the border icons only the system menu (with its close box).
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(Face(13));
    setFixedSize(736, 413);

    auto* background = new QWidget(this);
    background->setObjectName(QStringLiteral("BackgroundPanel"));
    background->setGeometry(0, 0, 736, 348);

    auto* srcPanel = new QWidget(background);
    srcPanel->setObjectName(QStringLiteral("srcPanel"));
    srcPanel->setGeometry(0, 0, 285, 348);

    m_searchVLE = new QTableWidget(static_cast<int>(workflows::SearchRows.size()), 2, srcPanel);
    m_searchVLE->setObjectName(QStringLiteral("SearchVLE"));
    m_searchVLE->setGeometry(1, 0, 283, 268);
    m_searchVLE->horizontalHeader()->hide(); // no title row
    m_searchVLE->verticalHeader()->hide();
    m_searchVLE->setColumnWidth(0, 150);
    m_searchVLE->setColumnWidth(1, 127);
    m_searchVLE->horizontalHeader()->setStretchLastSection(true);
    m_searchVLE->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_searchVLE->setSelectionMode(QAbstractItemView::SingleSelection);
    m_searchVLE->setTabKeyNavigation(false);
    m_searchVLE->setEditTriggers(QAbstractItemView::AllEditTriggers);
    m_searchVLE->setItemDelegateForColumn(1, new SearchValueDelegate(*this, m_searchVLE));
    for (int row = 0; row < m_searchVLE->rowCount(); ++row) {
        auto* key = new QTableWidgetItem(FromAnsi(workflows::SearchRows[static_cast<std::size_t>(row)].Key));
        key->setFlags(Qt::ItemIsEnabled); // the key column cannot be edited
        m_searchVLE->setItem(row, 0, key);
        auto* value = new QTableWidgetItem(QString());
        value->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        m_searchVLE->setItem(row, 1, value);
    }
    m_searchVLE->setCurrentCell(0, 1);
    m_searchVLE->installEventFilter(this);

    m_findButton = new QPushButton(FromAnsi("Prona\xf0i"), srcPanel);
    m_findButton->setObjectName(QStringLiteral("FindButton"));
    m_findButton->setGeometry(95, 283, 95, 48);
    m_findButton->setFont(Face(16));
    m_findButton->setDefault(true);
    connect(m_findButton, &QPushButton::clicked, this, [this] { FindButtonClick(); });

    auto* viewPanel = new QWidget(background);
    viewPanel->setObjectName(QStringLiteral("viewPanel"));
    viewPanel->setGeometry(286, 1, 449, 346);

    m_employeeModel = new EmployeeGridModel(m_dm, this);
    m_mainDBG = new QTableView(viewPanel);
    m_mainDBG->setObjectName(QStringLiteral("mainDBG"));
    m_mainDBG->setGeometry(0, 0, 449, 346);
    m_mainDBG->setModel(m_employeeModel);
    m_mainDBG->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_mainDBG->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_mainDBG->setSelectionMode(QAbstractItemView::SingleSelection);
    m_mainDBG->setTabKeyNavigation(false);
    m_mainDBG->setShowGrid(true);
    m_mainDBG->setWordWrap(false);
    m_mainDBG->horizontalHeader()->setSectionsMovable(true);
    m_mainDBG->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_mainDBG->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_mainDBG->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_mainDBG->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 3);
    m_mainDBG->verticalHeader()->setFixedWidth(12);
    m_mainDBG->setColumnWidth(0, 160);
    m_mainDBG->setColumnWidth(1, 120);
    m_mainDBG->setColumnWidth(2, 120);
    m_employeeModel->SetView(*m_mainDBG);

    auto* bottomPanel = new QWidget(this);
    bottomPanel->setObjectName(QStringLiteral("bottomPanel"));
    bottomPanel->setGeometry(0, 348, 736, 65);

    m_okButton = new QPushButton(QStringLiteral("&U redu"), bottomPanel);
    m_okButton->setObjectName(QStringLiteral("OkButton"));
    m_okButton->setGeometry(524, 8, 95, 48);
    m_okButton->setFont(Face(16));
    connect(m_okButton, &QPushButton::clicked, this, [this] { OkButtonClick(); });

    m_cancelBTN = new QPushButton(FromAnsi("&Otka\x9ei"), bottomPanel);
    m_cancelBTN->setObjectName(QStringLiteral("cancelBTN"));
    m_cancelBTN->setGeometry(628, 8, 95, 48);
    m_cancelBTN->setFont(Face(16));
    connect(m_cancelBTN, &QPushButton::clicked, this, [this] { cancelBTNClick(); });

    setTabOrder(m_searchVLE, m_findButton);
    setTabOrder(m_findButton, m_mainDBG);
    setTabOrder(m_mainDBG, m_cancelBTN);
    setTabOrder(m_cancelBTN, m_okButton);
    m_searchVLE->setFocus();
}

void TGetEmployeeForm::showEvent(QShowEvent* event)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr && !event->spontaneous()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

workflows::SearchValues TGetEmployeeForm::Values() const
{
    workflows::SearchValues values;
    for (std::size_t row = 0; row < values.size(); ++row) {
        const QTableWidgetItem* item = m_searchVLE->item(static_cast<int>(row), 1);
        values[row] = item == nullptr ? std::string() : ToAnsi(item->text());
    }
    return values;
}

void TGetEmployeeForm::FindButtonClick()
{
    Guarded([this] { m_search.FindButtonClick(Values()); });
}

bool TGetEmployeeForm::SearchVLEKeyDown(int key)
{
    if (key != VkReturn) {
        return false;
    }
    FindButtonClick();
    return true;
}

void TGetEmployeeForm::LeaveSearchVLE(bool forward)
{
    if (forward) {
        m_findButton->setFocus(Qt::TabFocusReason);
    } else {
        m_okButton->setFocus(Qt::BacktabFocusReason);
    }
}

void TGetEmployeeForm::OkButtonClick()
{
    Guarded([this] {
        if (m_search.OkButtonClick()) {
            accept();
        }
    });
}

void TGetEmployeeForm::cancelBTNClick()
{
    reject();
}

bool TGetEmployeeForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_searchVLE && IsEnter(event)) {
        return SearchVLEKeyDown(VkReturn);
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace selvo::ui
