#include "platform/gtk/gtk_wizard_view.h"

#include <glib/gi18n.h>

namespace vornida::platform {

namespace {

GtkWidget* WrappingLabel(const char* name) {
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_widget_set_name(label, name);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
  return label;
}

// The line below a page's status: how the download goes, or why it failed;
// smaller and dimmer than the status, selectable so that an error can be
// copied into a report.
GtkWidget* DetailLabel(const char* name) {
  GtkWidget* label = WrappingLabel(name);
  gtk_label_set_selectable(GTK_LABEL(label), TRUE);
  gtk_widget_set_can_focus(label, FALSE);  // no caret in it when the page shows
  gtk_style_context_add_class(gtk_widget_get_style_context(label), "dim-label");
  return label;
}

std::string DoubleSizeName(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + "@2x";
  return path.substr(0, dot) + "@2x" + path.substr(dot);
}

}  // namespace

GtkWizardView::GtkWizardView(GtkWindow* parent, bool silent, const std::string& headerPicture, GtkEventLoop& loop)
    : loop_(loop), silent_(silent), headerPicture_(headerPicture) {
  quitWatch_ = loop_.startTimer(std::chrono::milliseconds(100), true, [this] {
    if (loop_.quitRequested()) Press(vornida::WizardPress::Cancel);
  });
  assistant_ = gtk_assistant_new();
  g_object_ref_sink(assistant_);
  gtk_widget_set_name(assistant_, "vornida-upgrade-wizard");
  gtk_window_set_default_size(GTK_WINDOW(assistant_), 620, 420);
  gtk_window_set_resizable(GTK_WINDOW(assistant_), FALSE);
  if (parent != nullptr) {
    gtk_window_set_transient_for(GTK_WINDOW(assistant_), parent);
    gtk_window_set_position(GTK_WINDOW(assistant_), GTK_WIN_POS_CENTER_ON_PARENT);
  }
  gtk_window_set_modal(GTK_WINDOW(assistant_), !silent);

  // Page 1: the manifest is on its way.
  GtkWidget* body1 = gtk_box_new(GTK_ORIENTATION_VERTICAL, 18);
  status1_ = WrappingLabel("wizard-status-1");
  spinner_ = gtk_spinner_new();
  gtk_widget_set_name(spinner_, "wizard-animation");
  gtk_widget_set_size_request(spinner_, 32, 32);
  gtk_widget_set_halign(spinner_, GTK_ALIGN_CENTER);
  detail1_ = DetailLabel("wizard-detail-1");
  gtk_box_pack_start(GTK_BOX(body1), status1_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(body1), spinner_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(body1), detail1_, FALSE, FALSE, 0);

  // Page 2: what the new version brings.
  GtkWidget* body2 = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  versionText_ = WrappingLabel("wizard-version-text");
  descriptionLabel_ = WrappingLabel("wizard-description-label");
  description_ = gtk_text_view_new();
  gtk_widget_set_name(description_, "wizard-description");
  gtk_text_view_set_editable(GTK_TEXT_VIEW(description_), FALSE);
  gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(description_), FALSE);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(description_), GTK_WRAP_WORD_CHAR);
  gtk_text_view_set_left_margin(GTK_TEXT_VIEW(description_), 6);
  gtk_text_view_set_right_margin(GTK_TEXT_VIEW(description_), 6);
  descriptionScroll_ = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(descriptionScroll_), GTK_SHADOW_IN);
  gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(descriptionScroll_), 140);
  gtk_container_add(GTK_CONTAINER(descriptionScroll_), description_);
  hint_ = WrappingLabel("wizard-hint");
  gtk_box_pack_start(GTK_BOX(body2), versionText_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(body2), descriptionLabel_, FALSE, FALSE, 4);
  gtk_box_pack_start(GTK_BOX(body2), descriptionScroll_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(body2), hint_, FALSE, FALSE, 4);

  // Page 3: the installer is on its way.
  GtkWidget* body3 = gtk_box_new(GTK_ORIENTATION_VERTICAL, 18);
  status3_ = WrappingLabel("wizard-status-3");
  progress_ = gtk_progress_bar_new();
  gtk_widget_set_name(progress_, "wizard-progress");
  gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(progress_), TRUE);
  detail3_ = DetailLabel("wizard-detail-3");
  gtk_box_pack_start(GTK_BOX(body3), status3_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(body3), progress_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(body3), detail3_, FALSE, FALSE, 0);

  GtkWidget* bodies[3] = {body1, body2, body3};
  for (int i = 0; i < 3; ++i) {
    pages_[i] = BuildPage(bodies[i]);
    gtk_assistant_append_page(GTK_ASSISTANT(assistant_), pages_[i].box);
    gtk_assistant_set_page_type(GTK_ASSISTANT(assistant_), pages_[i].box, GTK_ASSISTANT_PAGE_CUSTOM);
    gtk_assistant_set_page_complete(GTK_ASSISTANT(assistant_), pages_[i].box, TRUE);
  }

  cancel_ = gtk_button_new_with_mnemonic(g_dgettext("gtk30", "_Cancel"));
  next_ = gtk_button_new_with_mnemonic(g_dgettext("gtk30", "_Next"));
  finish_ = gtk_button_new_with_mnemonic(g_dgettext("gtk30", "_Finish"));
  gtk_widget_set_name(cancel_, "wizard-cancel");
  gtk_widget_set_name(next_, "wizard-next");
  gtk_widget_set_name(finish_, "wizard-finish");
  gtk_style_context_add_class(gtk_widget_get_style_context(next_), "suggested-action");
  gtk_style_context_add_class(gtk_widget_get_style_context(finish_), "suggested-action");
  // Added from the right: Next or Finish rightmost, Cancel to their left.
  for (GtkWidget* button : {next_, finish_, cancel_}) {
    gtk_widget_set_can_default(button, TRUE);
    gtk_assistant_add_action_widget(GTK_ASSISTANT(assistant_), button);
    gtk_widget_show(button);
  }
  gtk_widget_set_no_show_all(finish_, TRUE);
  gtk_widget_hide(finish_);
  gtk_widget_set_sensitive(next_, FALSE);

  g_signal_connect(next_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
                     static_cast<GtkWizardView*>(self)->Press(vornida::WizardPress::Next);
                   }),
                   this);
  g_signal_connect(finish_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
                     static_cast<GtkWizardView*>(self)->Press(vornida::WizardPress::Finish);
                   }),
                   this);
  g_signal_connect(cancel_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
                     static_cast<GtkWizardView*>(self)->Press(vornida::WizardPress::Cancel);
                   }),
                   this);
  g_signal_connect(assistant_, "cancel", G_CALLBACK(+[](GtkAssistant*, gpointer self) {
                     static_cast<GtkWizardView*>(self)->Press(vornida::WizardPress::Cancel);
                   }),
                   this);
  g_signal_connect(assistant_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                     static_cast<GtkWizardView*>(self)->Press(vornida::WizardPress::Cancel);
                     return TRUE;  // the wizard closes its window itself
                   }),
                   this);
}

GtkWizardView::~GtkWizardView() {
  loop_.stopTimer(quitWatch_);
  g_signal_handlers_disconnect_by_data(assistant_, this);
  for (GtkWidget* button : {cancel_, next_, finish_}) g_signal_handlers_disconnect_by_data(button, this);
  gtk_widget_destroy(assistant_);
  g_object_unref(assistant_);
}

GtkWidget* GtkWizardView::HeaderPicture() const {
  const int scale = gtk_widget_get_scale_factor(assistant_);
  GdkPixbuf* picture = nullptr;
  int pictureScale = 1;
  if (scale > 1) {
    picture = gdk_pixbuf_new_from_file(DoubleSizeName(headerPicture_).c_str(), nullptr);
    if (picture != nullptr) pictureScale = 2;
  }
  if (picture == nullptr) picture = gdk_pixbuf_new_from_file(headerPicture_.c_str(), nullptr);
  if (picture == nullptr) return nullptr;
  cairo_surface_t* surface = gdk_cairo_surface_create_from_pixbuf(picture, pictureScale, nullptr);
  g_object_unref(picture);
  GtkWidget* image = gtk_image_new_from_surface(surface);
  cairo_surface_destroy(surface);
  gtk_widget_set_name(image, "wizard-header-picture");
  return image;
}

GtkWizardView::Page GtkWizardView::BuildPage(GtkWidget* body) {
  Page page;
  page.box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* header = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_widget_set_margin_bottom(header, 10);
  GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  page.title = gtk_label_new(nullptr);
  gtk_label_set_xalign(GTK_LABEL(page.title), 0.0f);
  page.subtitle = WrappingLabel("wizard-subtitle");
  gtk_widget_set_margin_start(page.subtitle, 12);
  gtk_box_pack_start(GTK_BOX(texts), page.title, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(texts), page.subtitle, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(header), texts, TRUE, TRUE, 0);
  if (GtkWidget* picture = HeaderPicture()) gtk_box_pack_end(GTK_BOX(header), picture, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page.box), header, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(page.box), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), FALSE, FALSE, 0);
  gtk_widget_set_margin_top(body, 16);
  gtk_widget_set_margin_start(body, 24);
  gtk_widget_set_margin_end(body, 24);
  gtk_box_pack_start(GTK_BOX(page.box), body, TRUE, TRUE, 0);
  gtk_widget_show_all(page.box);
  return page;
}

void GtkWizardView::Press(vornida::WizardPress press) {
  if (wizard_ != nullptr && !destroyed_) wizard_->Press(press);
}

void GtkWizardView::ShowPage(int page, const std::string& caption, const std::string& title,
                             const std::string& subtitle) {
  if (page < 1 || page > 3) return;
  page_ = page;
  Page& shown = pages_[page - 1];
  char* markup = g_markup_printf_escaped("<span weight='bold' size='large'>%s</span>", title.c_str());
  gtk_label_set_markup(GTK_LABEL(shown.title), markup);
  g_free(markup);
  gtk_label_set_text(GTK_LABEL(shown.subtitle), subtitle.c_str());
  gtk_assistant_set_page_title(GTK_ASSISTANT(assistant_), shown.box, title.c_str());
  gtk_assistant_set_current_page(GTK_ASSISTANT(assistant_), page - 1);
  // After the page: the assistant names the window after the page's title.
  gtk_window_set_title(GTK_WINDOW(assistant_), caption.c_str());
  if (!silent_ && !shown_) Show();
}

void GtkWizardView::SetControlText(int control, const std::string& text) {
  GtkWidget* label = nullptr;
  switch (control) {
    case vornida::kWizardStatusText: label = page_ == 3 ? status3_ : status1_; break;
    case vornida::kWizardDetailText: label = page_ == 3 ? detail3_ : detail1_; break;
    case vornida::kWizardVersionText: label = versionText_; break;
    case vornida::kWizardDescriptionLabel: label = descriptionLabel_; break;
    case vornida::kWizardHintText: label = hint_; break;
    case vornida::kWizardFinishButton: SetFinishText(text); return;
    default: return;
  }
  gtk_label_set_text(GTK_LABEL(label), text.c_str());
}

void GtkWizardView::AppendDescription(const std::string& text) {
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(description_));
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buffer, &end);
  gtk_text_buffer_insert(buffer, &end, text.c_str(), -1);
}

void GtkWizardView::HideControl(int control) {
  switch (control) {
    case vornida::kWizardDescriptionLabel: gtk_widget_hide(descriptionLabel_); break;
    case vornida::kWizardDescription: gtk_widget_hide(descriptionScroll_); break;
    case vornida::kWizardHintText: gtk_widget_hide(hint_); break;
    case vornida::kWizardVersionText: gtk_widget_hide(versionText_); break;
    default: break;
  }
}

void GtkWizardView::SetButtons(std::uint32_t flags) {
  const bool finish = (flags & (vornida::kWizardFinish | vornida::kWizardDisabledFinish)) != 0;
  gtk_widget_set_visible(finish_, finish);
  gtk_widget_set_visible(next_, !finish);
  gtk_widget_set_sensitive(next_, (flags & vornida::kWizardNext) != 0);
  gtk_widget_set_sensitive(finish_, (flags & vornida::kWizardFinish) != 0);
  // The button that moves the wizard on takes Enter and the focus.
  GtkWidget* onward = finish ? finish_ : next_;
  if (gtk_widget_get_sensitive(onward)) {
    gtk_widget_grab_default(onward);
    gtk_widget_grab_focus(onward);
  }
}

void GtkWizardView::SetFinishText(const std::string& text) { gtk_button_set_label(GTK_BUTTON(finish_), text.c_str()); }

void GtkWizardView::SetProgress(int percent) {
  const int clamped = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress_), clamped / 100.0);
}

void GtkWizardView::SetAnimation(bool playing) {
  if (playing)
    gtk_spinner_start(GTK_SPINNER(spinner_));
  else
    gtk_spinner_stop(GTK_SPINNER(spinner_));
}

void GtkWizardView::Show() {
  if (destroyed_) return;
  shown_ = true;
  gtk_widget_show(assistant_);
  gtk_window_present(GTK_WINDOW(assistant_));
}

void GtkWizardView::Destroy() {
  destroyed_ = true;
  gtk_spinner_stop(GTK_SPINNER(spinner_));
  gtk_widget_hide(assistant_);
}

}  // namespace vornida::platform
