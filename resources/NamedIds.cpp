#include "resources/NamedIds.h"

namespace {

// Ids count from 65536 in the order in which the names first occur in the main window
// layout and then in the message box layout; "_name_start" marks the start of the range.
const SOUI::SNamedID kNamedIds[] = {
    {L"_name_start", 65535},  {L"agree", 65542},         {L"body", 65556},
    {L"btn_back", 65546},     {L"btn_buy_vip", 65559},   {L"btn_cancel", 65561},
    {L"btn_close", 65553},    {L"btn_confirm", 65558},   {L"btn_continue", 65560},
    {L"btn_extend", 65544},   {L"btn_installer", 65538}, {L"btn_min", 65552},
    {L"btn_open", 65541},     {L"btn_start", 65551},     {L"check_agree", 65537},
    {L"edit_path", 65540},    {L"img_gif", 65547},       {L"line", 65555},
    {L"link_license", 65543}, {L"pro_install", 65550},   {L"richedit_rtf", 65545},
    {L"tab_main", 65536},     {L"text_msg", 65557},      {L"txt_gif", 65548},
    {L"txt_percent", 65549},  {L"txt_title", 65554},     {L"win_border", 65539},
};

}  // namespace

const SOUI::SNamedID* QiGetNamedIds(size_t* count) {
    if (count != nullptr)
        *count = sizeof(kNamedIds) / sizeof(kNamedIds[0]);
    return kNamedIds;
}
