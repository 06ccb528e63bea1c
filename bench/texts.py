# SPDX-License-Identifier: Apache-2.0
"""Texts for the benchmark: a short sentence and long Chinese prose built by
cycling through varied sentences up to a byte size."""

SHORT = "你好，欢迎使用离线语音合成。"

_SENTENCES = [
    "春天来了，山上的花都开了，红的像火，粉的像霞，白的像雪。",
    "小河里的冰融化了，河水哗哗地流着，好像在唱一首欢快的歌。",
    "清晨，太阳从东方升起，把金色的光洒在田野和村庄上。",
    "农民伯伯早早地来到田里，开始了一天忙碌的劳动。",
    "城市的街道上车来车往，人们匆匆忙忙地赶去上班。",
    "图书馆里非常安静，同学们都在认真地看书和写作业。",
    "下午下了一场大雨，雨停以后，天边出现了一道美丽的彩虹。",
    "秋天到了，树叶变黄了，一片片从树上飘落下来。",
    "我们坐在院子里，一边吃月饼，一边看天上又圆又亮的月亮。",
    "冬天的早晨，窗户上结满了冰花，外面下起了鹅毛大雪。",
    "孩子们在雪地里堆雪人、打雪仗，玩得非常开心。",
    "爷爷每天都去公园散步，他说锻炼身体对健康有好处。",
    "这家小饭馆的面条很有名，每天中午都有很多人排队。",
    "火车穿过长长的隧道，窗外的风景一下子变得开阔起来。",
    "科学家们经过多年的努力，终于解决了这个困难的问题。",
    "只要我们团结一心，就没有克服不了的困难。",
]


def sentences(n):
    """`n` short sentences, cycling through the varied ones."""
    return [_SENTENCES[i % len(_SENTENCES)] for i in range(n)]


def long_text(target_bytes=16 * 1024):
    out, size, i = [], 0, 0
    while size < target_bytes:
        s = _SENTENCES[i % len(_SENTENCES)]
        out.append(s)
        size += len(s.encode("utf-8"))
        i += 1
    return "".join(out)
