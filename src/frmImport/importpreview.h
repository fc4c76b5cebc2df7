#pragma once

#include "csvcommands.h"

#include <QDialog>

#include <optional>

class PreviewModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;
class QTableView;

// Shows how a file that is not written as an item file will be read, before any row of it is
// added: the separator, the quoting, whether its first line names the columns, the grid column
// each of its columns goes to, a decimal comma in Price, and the first rows exactly as they will
// be added, with everything that will not reach the grid listed. Open (Return) takes the rows as
// shown, Cancel (Escape) none. The window shows it through its dialog runner.
class ImportPreview : public QDialog
{
    Q_OBJECT

public:
    // How many rows the preview shows.
    static constexpr qsizetype ShownRows = 50;

    ImportPreview(const QString &fileName, const ItemCsv::OpenResult &read, QWidget *parent);
    ~ImportPreview() override;

    // Reads the text in the dialect it seems written in; false when progress asked to stop.
    bool readFirst(const Progress &progress);
    // The dialect the rows are read in.
    ItemCsv::Dialect dialect() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void makeSettings();
    void makeColumns();
    void separatorChosen(char separator);
    void settingsChanged();
    void columnChosen(int fileColumn);
    // Reads the text again in the chosen dialect and shows it; with `progress` for the first
    // reading.
    bool readAgain(const Progress &progress = {});
    // Takes over the reading's rows.
    void showColumns(ItemCsv::TextReading &reading);
    void placeColumnChoices();
    void showNotes(const ItemCsv::TextReading &reading);
    // Each file column to the grid column its heading names, or by position.
    void mapColumns();

    const ItemCsv::FileText &m_text;
    const ItemCsv::OpenResult &m_read;
    ItemCsv::Dialect m_dialect;
    // What the user chose for a decimal comma, where the Price allows one.
    std::optional<bool> m_decimalChoice;

    QRadioButton *m_comma;
    QRadioButton *m_semicolon;
    QRadioButton *m_tab;
    QCheckBox *m_quotesAreText;
    QCheckBox *m_headingLine;
    QCheckBox *m_decimalComma;
    QCheckBox *m_itemFile;
    QWidget *m_columnChoices;
    QList<QComboBox *> m_columnBoxes;
    QTableView *m_table;
    PreviewModel *m_model;
    QLabel *m_encoding;
    QLabel *m_notes;
    bool m_updating = false;
};
