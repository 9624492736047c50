#!/usr/bin/env python3
"""Writes the user licence agreement shown on the installer's licence page as an RTF document.

    python3 resources/tools/gen_licence_rtf.py resources/rtf/protocol.rtf

The text below is the source; the document is written in the Simplified Chinese code page
(\\ansicpg936) with every non-ASCII character as \\'hh escapes of its GBK bytes, as a word
processor on a Chinese system saves it. Only the standard library is used.
"""

import sys

TITLE = "Quillora 最终用户许可协议"

# (kind, text): "h" a numbered heading, "p" a paragraph, "n" the closing note.
BODY = [
    ("p", "欢迎您使用 Quillora PDF 软件（以下简称“本软件”）。请您在安装、复制或使用本软件之前，"
          "仔细阅读并充分理解本《最终用户许可协议》（以下简称“本协议”）的全部内容，特别是其中"
          "免除或限制责任的条款。您勾选“已阅读和同意”并继续安装，即表示您已阅读、"
          "理解并同意接受本协议的约束；如您不同意本协议的任何内容，请不要安装或使用本软件。"),
    ("h", "一、许可范围"),
    ("p", "1.1 在您遵守本协议的前提下，Quillora 授予您一项个人的、不可转让的、非独占的、可撤销的"
          "许可，允许您在自己拥有或合法控制的计算机上安装和使用本软件，用于查看、转换、编辑和打印"
          "PDF 文档及其他受支持格式的文件。"),
    ("p", "1.2 本软件的部分功能（包括但不限于批量转换、高级编辑和云端存储）可能需要您开通会员或另行"
          "付费后方可使用，具体以软件内的说明和届时的收费标准为准。"),
    ("p", "1.3 本协议未明确授予您的一切权利，均由 Quillora 保留。"),
    ("h", "二、使用限制"),
    ("p", "您不得实施以下行为：（1）对本软件进行反向工程、反向编译或反汇编，或以其他方式尝试获取本"
          "软件的源代码，法律明确允许的除外；（2）出租、出借、出售、再许可本软件，或将本软件用于"
          "向第三方提供商业托管服务；（3）删除、遮盖或修改本软件中的版权标识、商标或其他权利声明；"
          "（4）利用本软件制作、传播侵犯他人知识产权或违反法律法规的内容；（5）干扰或破坏本软件及"
          "相关服务的正常运行，或绕过本软件的授权与技术保护措施。"),
    ("h", "三、知识产权"),
    ("p", "本软件及其全部组成部分（包括程序代码、界面设计、图标、文字、图片及相关文档）的著作权、"
          "商标权及其他知识产权均归 Quillora 或其许可方所有，受中华人民共和国法律及相关国际条约的"
          "保护。您使用本软件处理的文档，其权利归您或原权利人所有，本软件不因此取得任何权利。"),
    ("h", "四、安装与更新"),
    ("p", "4.1 本安装程序将从网络下载本软件的安装包，并在您选择的目录中完成安装；安装过程中可能会"
          "检测并安装本软件运行所需的系统组件，并结束正在运行的本软件相关进程，请您事先保存工作。"),
    ("p", "4.2 为改善功能、修复缺陷和提升安全性，Quillora 可能向您提供本软件的更新版本。更新版本"
          "同样适用本协议，除非随更新另行提供了新的协议。"),
    ("h", "五、个人信息与数据"),
    ("p", "5.1 为统计安装情况、改进产品质量，本安装程序会在安装完成时发送一次安装报告，内容包括"
          "软件版本、语言、推广渠道以及由网卡地址形成的设备标识，不包括您的文档内容或其他个人文件。"),
    ("p", "5.2 本软件在本地处理您的文档；只有在您主动使用云端存储、在线转换等联网功能时，相关文件"
          "才会经加密传输至服务器，并仅用于为您提供该项服务。我们将依照适用的法律法规保护您的个人"
          "信息，未经您的同意不会向第三方出售或提供。"),
    ("h", "六、免责声明"),
    ("p", "本软件按“现状”提供。在适用法律允许的最大范围内，Quillora 不对本软件作任何明示或默示的"
          "保证，包括但不限于适销性、适用于特定用途以及不侵权的保证；不保证本软件不会中断或没有"
          "错误，也不保证文档转换的结果与原文件完全一致。请您在处理重要文档前自行做好备份。"),
    ("h", "七、责任限制"),
    ("p", "在适用法律允许的最大范围内，Quillora 对因使用或无法使用本软件而产生的任何间接的、附带的、"
          "特殊的或后果性的损失（包括数据丢失、业务中断和利润损失）不承担责任；Quillora 就本协议"
          "承担的全部责任，以您为获得本软件实际支付的费用为限。"),
    ("h", "八、协议的终止"),
    ("p", "如您违反本协议的任何条款，本协议授予您的许可将自动终止，您应立即停止使用并卸载本软件。"
          "您也可以随时通过卸载本软件并删除其全部副本的方式终止本协议。"),
    ("h", "九、法律适用与争议解决"),
    ("p", "本协议的订立、履行和解释均适用中华人民共和国法律（不包括冲突法规则）。因本协议引起的"
          "或与本协议有关的争议，双方应友好协商解决；协商不成的，任何一方均可向 Quillora 所在地"
          "有管辖权的人民法院提起诉讼。"),
    ("h", "十、其他"),
    ("p", "本协议构成您与 Quillora 之间关于本软件的完整协议。本协议的任何条款被认定为无效或不可"
          "执行的，不影响其余条款的效力。Quillora 可能适时修订本协议，修订后的协议将随软件更新"
          "提供，您继续使用本软件即视为接受修订后的协议。"),
    ("n", "如您对本协议有任何疑问，请通过软件内的“帮助与反馈”与我们联系。"),
]


def escape(text):
    """RTF text: ASCII as it stands (with \\ { } escaped), everything else as GBK \\'hh bytes."""
    out = []
    for ch in text:
        if ch in "\\{}":
            out.append("\\" + ch)
        elif ord(ch) < 0x80:
            out.append(ch)
        else:
            out.append("".join("\\'%02x" % b for b in ch.encode("gbk")))
    return "".join(out)


def build():
    lines = [
        "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052",
        "{\\fonttbl{\\f0\\fnil\\fcharset134 " + escape("宋体") + ";}"
        "{\\f1\\fnil\\fcharset134 " + escape("微软雅黑") + ";}}",
        "{\\colortbl ;\\red56\\green56\\blue56;\\red0\\green68\\blue69;\\red106\\green117\\blue116;}",
        "\\viewkind4\\uc1",
        "\\pard\\qc\\sb120\\sa240\\cf2\\b\\f1\\fs28 " + escape(TITLE) + "\\b0\\par",
    ]
    for kind, text in BODY:
        if kind == "h":
            lines.append("\\pard\\sb200\\sa80\\cf1\\b\\f1\\fs22 " + escape(text) + "\\b0\\par")
        elif kind == "p":
            lines.append("\\pard\\fi420\\sa80\\sl300\\slmult0\\cf1\\f1\\fs20 " + escape(text) + "\\par")
        else:
            lines.append("\\pard\\sb200\\sa80\\cf3\\i\\f1\\fs20 " + escape(text) + "\\i0\\par")
    lines.append("}")
    return "\r\n".join(lines) + "\r\n"


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "resources/rtf/protocol.rtf"
    with open(path, "w", encoding="ascii", newline="") as f:
        f.write(build())


if __name__ == "__main__":
    main()
