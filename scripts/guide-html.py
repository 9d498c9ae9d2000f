"""The station guide as one HTML page for the release zip: a browser on the
station shows it with its pictures (station-guide/*.png beside it).
   guide-html.py GUIDE.md VERSION > GUIDE.html"""
import sys

import markdown

source, version = sys.argv[1], sys.argv[2]
with open(source, encoding="utf-8") as f:
    text = f.read()
title = text.splitlines()[0].lstrip("# ").strip()
body = markdown.markdown(text, extensions=["tables"], output_format="html")
style = ("body{font-family:Arial,sans-serif;max-width:50em;margin:1em auto;padding:0 1em;line-height:1.4}"
         "code{background:#eee;padding:0 .2em}table{border-collapse:collapse}"
         "td,th{border:1px solid #999;padding:.2em .5em;vertical-align:top}img{border:1px solid #ccc}")
page = (f'<!DOCTYPE html>\n<html lang="ru">\n<head>\n<meta charset="utf-8">\n'
        f"<title>{title} ({version})</title>\n<style>{style}</style>\n</head>\n<body>\n{body}\n</body>\n</html>\n")
sys.stdout.buffer.write(page.replace("\n", "\r\n").encode("utf-8"))
