// What a litehtml document asks of the program that draws it: fonts through QFont, drawing
// through QPainter (text, backgrounds, borders, images, list markers, clipping), the viewport,
// the files it names, and its elements where they need bounds (table cells' spans). The
// container never fetches: it keeps the style sheets and images given to it and lists the ones
// the document asked for that it does not have yet.
#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QRect>
#include <QSet>
#include <QString>
#include <QUrl>
#include <litehtml/litehtml.h>
#include <utility>
#include <vector>

class LitehtmlContainer : public litehtml::document_container {
public:
    // litehtml parses an imported style sheet inside the parse of the one that imports it: a
    // sheet is imported at most this deep, never into itself or a sheet that imports it, and no
    // more often than this in one document.
    static constexpr int kImportDepth = 4;
    static constexpr int kImportLimit = 32;

    virtual ~LitehtmlContainer() = default;

    // Forgets the files of the page before; relative addresses now resolve against pageUrl.
    void reset(const QUrl& pageUrl);
    void setViewport(const QSize& size) { viewport_ = size; }
    // A document is about to be made from the page: its imports are counted afresh.
    void beginDocument();

    void addStyleSheet(const QUrl& url, const QString& text);
    void addImage(const QUrl& url, const QImage& image);
    // The files asked for since the last call, each once per page.
    QList<QUrl> takeWantedStyleSheets() { return std::exchange(wantedStyleSheets_, {}); }
    QList<QUrl> takeWantedImages() { return std::exchange(wantedImages_, {}); }
    // An address as the page gives it, made absolute against the page's base.
    QUrl resolve(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl = nullptr) const;

    litehtml::uint_ptr create_font(const litehtml::tchar_t* faceName, int size, int weight, litehtml::font_style italic,
                                   unsigned int decoration, litehtml::font_metrics* fm) override;
    void delete_font(litehtml::uint_ptr hFont) override;
    int text_width(const litehtml::tchar_t* text, litehtml::uint_ptr hFont) override;
    void draw_text(litehtml::uint_ptr hdc, const litehtml::tchar_t* text, litehtml::uint_ptr hFont,
                   litehtml::web_color color, const litehtml::position& pos) override;
    int pt_to_px(int pt) const override;
    int get_default_font_size() const override;
    const litehtml::tchar_t* get_default_font_name() const override;
    void draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker) override;
    void load_image(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl, bool redraw_on_ready) override;
    void get_image_size(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl, litehtml::size& sz) override;
    void draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg) override;
    void draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& borders, const litehtml::position& draw_pos,
                      bool root) override;
    void set_caption(const litehtml::tchar_t* caption) override;
    void set_base_url(const litehtml::tchar_t* base_url) override;
    void link(const std::shared_ptr<litehtml::document>& doc, const litehtml::element::ptr& el) override;
    void on_anchor_click(const litehtml::tchar_t* url, const litehtml::element::ptr& el) override;
    void set_cursor(const litehtml::tchar_t* cursor) override;
    void transform_text(litehtml::tstring& text, litehtml::text_transform tt) override;
    void import_css(litehtml::tstring& text, const litehtml::tstring& url, litehtml::tstring& baseurl) override;
    void set_clip(const litehtml::position& pos, const litehtml::border_radiuses& bdr_radius, bool valid_x,
                  bool valid_y) override;
    void del_clip() override;
    void get_client_rect(litehtml::position& client) const override;
    std::shared_ptr<litehtml::element> create_element(const litehtml::tchar_t* tag_name,
                                                      const litehtml::string_map& attributes,
                                                      const std::shared_ptr<litehtml::document>& doc) override;
    void get_media_features(litehtml::media_features& media) const override;
    void get_language(litehtml::tstring& language, litehtml::tstring& culture) const override;

private:
    bool mayImport(const QUrl& sheet, const QUrl& importer) const;
    const QImage* image(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl) const;

    QUrl pageUrl_;
    QUrl baseUrl_;
    QSize viewport_;
    QHash<QUrl, QString> styleSheets_;
    QHash<QUrl, QImage> images_;
    QSet<QUrl> asked_;
    QHash<QUrl, QUrl> importedBy_;  // each sheet imported, and the sheet it was imported into (none: the page)
    int imports_ = 0;
    QList<QUrl> wantedStyleSheets_;
    QList<QUrl> wantedImages_;
    std::vector<QRect> clips_;  // each the intersection of those before it and its own box
};
