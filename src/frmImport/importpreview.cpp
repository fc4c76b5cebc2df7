#include "importpreview.h"

#include "previewmodel.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

// The dialog has as many column choices and as many lines of notes as the file asks for, so,
// unlike the window, it is laid out by layouts rather than fixed places.

namespace {

// The file columns that get a choice of their own; any further column keeps what its heading,
// or its place, gives it.
constexpr int MostColumnsShown = 100;

QString lines(qint64 count)
{
    return count == 1 ? ImportPreview::tr("1 line") : ImportPreview::tr("%L1 lines").arg(count);
}

QString quotedValues(const QStringList &values)
{
    QStringList quoted;
    for (const QString &value : values)
        quoted.append(u'\u201C' + value + u'\u201D');
    return quoted.join(QStringLiteral(", "));
}

// Lines with values past the sixth column that go nowhere, named with those values.
QString extraValuesNote(const ItemCsv::TextReading &reading)
{
    QStringList named;
    for (const ItemCsv::LeftOutValues &extra : reading.extraValues) {
        named.append(
            ImportPreview::tr("line %1 (%2)").arg(extra.line).arg(quotedValues(extra.values)));
    }
    const qint64 more = reading.linesWithExtraValues - reading.extraValues.size();
    if (more > 0)
        named.append(ImportPreview::tr("and %1 more").arg(lines(more)));
    if (reading.linesWithExtraValues == 1) {
        return ImportPreview::tr("1 line has more than six values; its extra values are left "
                                 "out: %1")
            .arg(named.join(QStringLiteral(", ")));
    }
    return ImportPreview::tr("%L1 lines have more than six values; their extra values are left "
                             "out: %2")
        .arg(reading.linesWithExtraValues)
        .arg(named.join(QStringLiteral(", ")));
}

// Everything of the file that will not reach the grid, a sentence each.
QStringList leftOut(const ItemCsv::TextReading &reading, const ItemCsv::Dialect &dialect)
{
    QStringList notes;
    if (dialect.headingLine)
        notes.append(ImportPreview::tr("Line 1 names the columns and is left out"));
    for (qsizetype column = 0; column < reading.columns; ++column) {
        if (column < dialect.columns.size() && dialect.columns[column])
            continue;
        const QString name = reading.headings.value(column).trimmed();
        const bool hasValue = reading.columnHasValue.value(column);
        if (!name.isEmpty()) {
            notes.append(ImportPreview::tr("Column %1 (\u201C%2\u201D) is left out")
                             .arg(column + 1)
                             .arg(name));
        } else if (hasValue && (dialect.headingLine || column < ColumnCount)) {
            notes.append(ImportPreview::tr("Column %1 is left out").arg(column + 1));
        }
    }
    if (reading.linesWithExtraValues > 0)
        notes.append(extraValuesNote(reading));
    if (reading.unclosedQuoteLine != 0) {
        notes.append(ImportPreview::tr("Line %1 opens a quote that is never closed")
                         .arg(reading.unclosedQuoteLine));
        notes.append(ImportPreview::tr("(\u201CQuotes are text\u201D reads its quotes as they "
                                       "stand.)"));
    }
    return notes;
}

// What the rows come to, and whether they can be added at all.
QString rowsNote(const ItemCsv::TextReading &reading)
{
    switch (reading.outcome) {
    case ItemCsv::ReadOutcome::LineTooLong:
        return ImportPreview::tr("Line %1 is too long to open: no row can be added.")
            .arg(reading.tooLongLine);
    case ItemCsv::ReadOutcome::OutOfMemory:
        return ImportPreview::tr("The rows do not fit in the memory left: no row can be added.");
    default:
        break;
    }
    if (reading.rowCount == 0)
        return ImportPreview::tr("No row will be added.");
    if (reading.rowCount == 1)
        return ImportPreview::tr("1 row will be added.");
    return ImportPreview::tr("%L1 rows will be added.").arg(reading.rowCount);
}

QString encodingNote(const ItemCsv::OpenResult &read)
{
    const ItemCsv::LineEncodings &counts = read.lineEncodings;
    if (counts.utf8 > 0 && counts.windows1252 > 0) {
        return ImportPreview::tr("Character set: %1 read as UTF-8 and %2 as Windows-1252; the "
                                 "other lines are plain ASCII, which reads the same in both.")
            .arg(lines(counts.utf8), lines(counts.windows1252));
    }
    if (counts.utf8 > 0 || counts.windows1252 > 0) {
        return ImportPreview::tr("Character set: %1 (%2 with characters beyond ASCII).")
            .arg(counts.utf8 > 0 ? QStringLiteral("UTF-8") : QStringLiteral("Windows-1252"),
                lines(counts.utf8 + counts.windows1252));
    }
    switch (read.encoding) {
    case ItemCsv::Encoding::Utf16LittleEndian:
    case ItemCsv::Encoding::Utf16BigEndian:
        return ImportPreview::tr("Character set: UTF-16, as the mark at the file's start says.");
    case ItemCsv::Encoding::Utf8:
        return ImportPreview::tr("Character set: UTF-8, as the mark at the file's start says.");
    case ItemCsv::Encoding::Windows1252:
        break;
    }
    return ImportPreview::tr("Character set: plain ASCII, the same in UTF-8 and Windows-1252.");
}

QComboBox *columnChoice(QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->addItem(ImportPreview::tr("(leave out)"));
    for (const Column column : AllColumns)
        box->addItem(heading(column));
    return box;
}

} // namespace

ImportPreview::ImportPreview(
    const QString &fileName, const ItemCsv::OpenResult &read, QWidget *parent)
    : QDialog(parent)
    , m_text(*read.text)
    , m_read(read)
    , m_dialect(read.dialect)
{
    setObjectName(QStringLiteral("ImportPreview"));
    setWindowTitle(tr("Open \u201C%1\u201D").arg(QFileInfo(fileName).fileName()));
    setAccessibleName(windowTitle());
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(tr("This file is not written as a Pantrovo item file. Check how it "
                                "will be read: no row is added until you press Open."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    makeSettings();
    makeColumns();
    m_encoding = new QLabel(encodingNote(read), this);
    m_encoding->setObjectName(QStringLiteral("encoding"));
    m_encoding->setAccessibleName(tr("Character set"));
    m_notes = new QLabel(this);
    m_notes->setObjectName(QStringLiteral("notes"));
    m_notes->setAccessibleName(tr("What is left out"));
    m_notes->setWordWrap(true);
    m_notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    QPushButton *open = buttons->button(QDialogButtonBox::Open);
    open->setDefault(true);
    open->setAccessibleName(tr("Open"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(tr("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QWidget *widget : {static_cast<QWidget *>(m_encoding), static_cast<QWidget *>(m_notes),
             static_cast<QWidget *>(buttons)})
        layout->addWidget(widget);
    for (QAbstractButton *button : findChildren<QAbstractButton *>())
        button->installEventFilter(this);
    resize(820, 620);
    open->setFocus();
}

ImportPreview::~ImportPreview() = default;

void ImportPreview::makeSettings()
{
    auto *layout = static_cast<QVBoxLayout *>(this->layout());
    auto *separators = new QHBoxLayout;
    auto *separatorLabel = new QLabel(tr("Separator:"), this);
    separators->addWidget(separatorLabel);
    m_comma = new QRadioButton(tr("Co&mma"), this);
    m_semicolon = new QRadioButton(tr("&Semicolon"), this);
    m_tab = new QRadioButton(tr("&Tab"), this);
    const std::pair<QRadioButton *, char> choices[]
        = {{m_comma, ','}, {m_semicolon, ';'}, {m_tab, '\t'}};
    for (const auto &[button, separator] : choices) {
        button->setObjectName(button->text().remove(u'&').toLower());
        button->setAccessibleName(tr("Separator: %1").arg(button->text().remove(u'&')));
        button->setChecked(m_dialect.separator == separator);
        separators->addWidget(button);
        connect(button, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                settingsChanged();
        });
    }
    separators->addStretch();
    layout->addLayout(separators);

    m_quotesAreText = new QCheckBox(tr("&Quotes are text"), this);
    m_quotesAreText->setObjectName(QStringLiteral("quotesAreText"));
    m_quotesAreText->setChecked(m_dialect.quoting == ItemCsv::Quoting::Text);
    m_headingLine = new QCheckBox(tr("&First line names the columns"), this);
    m_headingLine->setObjectName(QStringLiteral("headingLine"));
    m_headingLine->setChecked(m_dialect.headingLine);
    m_decimalComma = new QCheckBox(tr("Price: &decimal comma to point (1,15 \u2192 1.15)"), this);
    m_decimalComma->setObjectName(QStringLiteral("decimalComma"));
    m_itemFile = new QCheckBox(tr("&Read as an item file (split at every comma)"), this);
    m_itemFile->setObjectName(QStringLiteral("itemFile"));
    auto *options = new QHBoxLayout;
    for (QCheckBox *box : {m_quotesAreText, m_headingLine, m_decimalComma}) {
        options->addWidget(box);
        connect(box, &QCheckBox::toggled, this, [this, box](bool on) {
            if (box == m_decimalComma && !m_updating)
                m_decimalChoice = on;
            settingsChanged();
        });
    }
    options->addStretch();
    layout->addLayout(options);
    layout->addWidget(m_itemFile);
    connect(m_itemFile, &QCheckBox::toggled, this, &ImportPreview::settingsChanged);
    for (QCheckBox *box : {m_quotesAreText, m_headingLine, m_decimalComma, m_itemFile})
        box->setAccessibleName(box->text().remove(u'&'));
}

void ImportPreview::makeColumns()
{
    auto *layout = static_cast<QVBoxLayout *>(this->layout());
    auto *title = new QLabel(tr("The first rows, as they will be added, each column of the file "
                                "under the grid column it goes to:"),
        this);
    title->setWordWrap(true);
    layout->addWidget(title);
    m_columnChoices = new QWidget(this);
    m_columnChoices->setObjectName(QStringLiteral("columnChoices"));
    m_columnChoices->setFixedHeight(columnChoice(m_columnChoices)->sizeHint().height());
    qDeleteAll(m_columnChoices->findChildren<QComboBox *>());
    layout->addWidget(m_columnChoices);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("preview"));
    m_table->setAccessibleName(tr("Preview of the rows"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_model = new PreviewModel(this);
    m_table->setModel(m_model);
    m_table->setItemDelegate(new PreviewDelegate(m_table));
    layout->addWidget(m_table, 1);
    m_table->viewport()->installEventFilter(this);
    connect(m_table->horizontalHeader(), &QHeaderView::sectionResized, this,
        &ImportPreview::placeColumnChoices);
    connect(m_table->horizontalScrollBar(), &QScrollBar::valueChanged, this,
        &ImportPreview::placeColumnChoices);
}

bool ImportPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table->viewport() && event->type() == QEvent::Resize)
        placeColumnChoices();
    // An access key acts at once, as in the window, rather than after the button's short
    // animation: keys typed straight after it (Return) come after its change.
    auto *button = qobject_cast<QAbstractButton *>(watched);
    if (button && event->type() == QEvent::Shortcut) {
        if (button->isEnabled()) {
            button->setFocus(Qt::ShortcutFocusReason);
            button->click();
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

ItemCsv::Dialect ImportPreview::dialect() const
{
    return m_itemFile->isChecked() ? ItemCsv::Dialect() : m_dialect;
}

bool ImportPreview::readFirst(const Progress &progress)
{
    return readAgain(progress);
}

// The settings as the check boxes and buttons show them; a new separator, quoting or heading
// line maps the columns afresh.
void ImportPreview::settingsChanged()
{
    if (m_updating)
        return;
    const char separator = m_semicolon->isChecked() ? ';' : m_tab->isChecked() ? '\t' : ',';
    const ItemCsv::Quoting quoting
        = m_quotesAreText->isChecked() ? ItemCsv::Quoting::Text : ItemCsv::Quoting::Spreadsheet;
    const bool headingLine = m_headingLine->isChecked();
    const bool remap = separator != m_dialect.separator || quoting != m_dialect.quoting
        || headingLine != m_dialect.headingLine;
    m_dialect.separator = separator;
    m_dialect.quoting = quoting;
    m_dialect.headingLine = headingLine;
    if (remap)
        mapColumns();
    const bool itemFile = m_itemFile->isChecked();
    for (QWidget *widget : std::initializer_list<QWidget *> {m_comma, m_semicolon, m_tab,
             m_quotesAreText, m_headingLine, m_decimalComma, m_columnChoices})
        widget->setEnabled(!itemFile);
    readAgain();
}

void ImportPreview::mapColumns()
{
    m_dialect.columns = m_dialect.headingLine ? ItemCsv::columnsByHeading(
                            ItemCsv::headingsOf(m_text, m_dialect.separator, m_dialect.quoting))
                                              : ItemCsv::Dialect::columnsByPosition();
}

// A grid column takes one file column: the one chosen last.
void ImportPreview::columnChosen(int fileColumn)
{
    if (m_updating)
        return;
    const int index = m_columnBoxes[fileColumn]->currentIndex();
    const std::optional<Column> chosen
        = index > 0 ? std::optional(columnAt(index - 1)) : std::nullopt;
    ItemCsv::ColumnMap &columns = m_dialect.columns;
    if (columns.size() <= fileColumn)
        columns.resize(fileColumn + 1);
    if (chosen)
        std::replace(columns.begin(), columns.end(), chosen, std::optional<Column>());
    columns[fileColumn] = chosen;
    readAgain();
}

bool ImportPreview::readAgain(const Progress &progress)
{
    const bool itemFile = m_itemFile->isChecked();
    ItemCsv::TextReading reading
        = ItemCsv::previewText(m_text, dialect(), ShownRows, ItemCsv::Extent::WholeText, progress);
    if (reading.outcome == ItemCsv::ReadOutcome::Cancelled)
        return false;
    // Whether Price has decimal commas is known only from the whole text; the rows shown follow.
    const bool decimal = !itemFile && reading.decimalCommaFound && m_decimalChoice.value_or(true);
    if (!itemFile && decimal != m_dialect.decimalComma) {
        m_dialect.decimalComma = decimal;
        ItemCsv::TextReading first
            = ItemCsv::previewText(m_text, m_dialect, ShownRows, ItemCsv::Extent::FirstRows);
        reading.rows = std::move(first.rows);
        reading.values = std::move(first.values);
    }
    m_updating = true;
    m_decimalComma->setVisible(reading.decimalCommaFound && !itemFile);
    m_decimalComma->setChecked(m_dialect.decimalComma);
    showNotes(reading);
    showColumns(reading);
    m_updating = false;
    return true;
}

void ImportPreview::showColumns(ItemCsv::TextReading &reading)
{
    const ItemCsv::Dialect shown = dialect();
    const auto count = int(std::clamp<qsizetype>(reading.columns, 1, MostColumnsShown));
    while (m_columnBoxes.size() > count)
        delete m_columnBoxes.takeLast();
    while (m_columnBoxes.size() < count) {
        QComboBox *box = columnChoice(m_columnChoices);
        const auto fileColumn = int(m_columnBoxes.size());
        box->setObjectName(QStringLiteral("column%1").arg(fileColumn + 1));
        connect(box, &QComboBox::currentIndexChanged, this,
            [this, fileColumn] { columnChosen(fileColumn); });
        m_columnBoxes.append(box);
    }
    m_model->show(reading, shown);
    for (int fileColumn = 0; fileColumn < count; ++fileColumn) {
        QComboBox *box = m_columnBoxes[fileColumn];
        const std::optional<Column> column
            = fileColumn < shown.columns.size() ? shown.columns[fileColumn] : std::nullopt;
        box->setCurrentIndex(column ? position(*column) + 1 : 0);
        box->setAccessibleName(
            tr("Column %1 (%2) goes to")
                .arg(fileColumn + 1)
                .arg(m_model->headerData(fileColumn, Qt::Horizontal).toString()));
        m_table->resizeColumnToContents(fileColumn);
        QHeaderView *header = m_table->horizontalHeader();
        const int width = std::max(box->sizeHint().width(), header->sectionSize(fileColumn));
        header->resizeSection(fileColumn, std::min(width, 300));
        box->show();
    }
    placeColumnChoices();
}

void ImportPreview::placeColumnChoices()
{
    const QHeaderView *header = m_table->horizontalHeader();
    const QWidget *viewport = m_table->viewport();
    const int left = viewport->mapTo(this, QPoint()).x() - m_columnChoices->x();
    for (int fileColumn = 0; fileColumn < m_columnBoxes.size(); ++fileColumn) {
        QComboBox *box = m_columnBoxes[fileColumn];
        const int x = header->sectionViewportPosition(fileColumn);
        box->setGeometry(left + x, 0, header->sectionSize(fileColumn), m_columnChoices->height());
        box->setVisible(x >= 0 && x < viewport->width());
    }
}

void ImportPreview::showNotes(const ItemCsv::TextReading &reading)
{
    const QStringList notes = leftOut(reading, dialect());
    QString text = rowsNote(reading) + u'\n';
    text += notes.isEmpty() ? tr("Nothing of the file is left out.")
                            : tr("Left out:") + u'\n' + notes.join(u'\n');
    m_notes->setText(text);
}
