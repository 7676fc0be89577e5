#!/usr/bin/env python3
"""Checks that every link and picture of Markdown documents resolves where
the documents lie: the file it names exists, and so does the heading its
#anchor names.

    check_links.py PATH...    (a .md file, or a folder searched for them)"""
import os
import re
import sys

LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")


def slug(heading):
    """A heading's anchor, as the common Markdown renderers make it."""
    text = re.sub(r"[`*_]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path):
    with open(path, encoding="utf-8") as file:
        return {slug(line.lstrip("#")) for line in file if re.match(r"#{1,6} ", line)}


def documents(paths):
    for path in paths:
        if os.path.isdir(path):
            for root, _, names in os.walk(path):
                yield from (os.path.join(root, n) for n in sorted(names) if n.endswith(".md"))
        else:
            yield path


def broken_links(document):
    with open(document, encoding="utf-8") as file:
        text = re.sub(r"(?m)^(    |\t).*$", "", file.read())  # code blocks hold no links
    for target in LINK.findall(text):
        if re.match(r"[a-z]+:", target):
            continue
        name, _, anchor = target.partition("#")
        path = os.path.normpath(os.path.join(os.path.dirname(document), name)) if name else document
        if not os.path.exists(path):
            yield f"{document}: {target}: no such file"
        elif anchor and path.endswith(".md") and anchor not in anchors(path):
            yield f"{document}: {target}: no such heading"


def main():
    checked = 0
    failures = []
    for document in documents(sys.argv[1:]):
        checked += 1
        failures.extend(broken_links(document))
    for failure in failures:
        print(failure)
    print(f"{checked} documents, {len(failures)} broken links")
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
