#pragma once

#include <QDialog>
#include <QPixmap>

#include <vector>

class CCategory;
class CCategoryTree;
class CSite;
class QListWidget;

// "Category Rankings": every category with a positive score from the categorizer's last run,
// in ascending slot order, each with a bar of its score level. The user selects one or more;
// OK files the site into each selected category (and, when the main frame exists, into the log
// book under it). Cancel changes nothing. The dialog is wide enough for its hint and, up to
// the screen's width, for its caption.
class CCategoryRankingsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kLevelCount = 9;
    static constexpr int kBarWidth = 64;
    static constexpr int kBarHeight = 12;

    // Neither the site nor the hierarchy is owned; both must outlive the dialog.
    CCategoryRankingsDlg(CSite& site, CCategoryTree& categories, QWidget* parent = nullptr);

    // The picture index of a score: 0 for exactly 1.0, 1 above 0.75, ... 7 above 0.15, else 8.
    static int ScoreLevel(double score);
    // The bar picture of a level 0..8: level 0 is the fullest bar.
    static QPixmap BarImage(int level);

    // The listed categories, top to bottom.
    std::vector<CCategory*> ListedCategories() const;
    QListWidget* List() const { return m_list; }

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillList();
    // Widens the dialog for a long caption (the site's title), up to 90% of the screen.
    void FitCaption();

    CSite& m_site;
    CCategoryTree& m_categories;
    QListWidget* m_list = nullptr;
};
