// Readability.js (Firefox's Reader View) on linkedom's DOM: the peer of plaintrove-strip --article
// in bench/article.sh. Reads each page and writes the text of the article it finds.
//
//   node readability.mjs                   a page on standard input, its text on standard output
//   node readability.mjs -d DIR PAGE...    each PAGE to DIR/<name without its last extension>.txt
import { Readability } from "@mozilla/readability";
import { parseHTML } from "linkedom";
import { readFileSync, writeFileSync } from "node:fs";
import { basename, join } from "node:path";

function article(html) {
    const { document } = parseHTML(html);
    const found = new Readability(document).parse();
    return found ? found.textContent : "";
}

const args = process.argv.slice(2);
if (args.length === 0) {
    process.stdout.write(article(readFileSync(0, "utf8")));
} else if (args[0] === "-d" && args.length >= 2) {
    for (const page of args.slice(2))
        writeFileSync(join(args[1], basename(page).replace(/\.[^.]*$/, "") + ".txt"),
            article(readFileSync(page, "utf8")));
} else {
    console.error("usage: node readability.mjs [-d DIR PAGE...]");
    process.exit(2);
}
