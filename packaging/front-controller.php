<?php
// Tovanik's front controller: the router script PHP's built-in server runs for every
// request when config.ini says router=front-controller.
//
// A request naming a file or folder that exists in the web folder is left to PHP, which
// serves it as it would without a router (return false). Anything else runs the web
// folder's index.php, as Apache's and nginx's usual rewrite rules do, with the request's
// path kept in REQUEST_URI: so routes whose last part holds a dot (/robots.txt,
// /wp-sitemap.xml, /notes/0.json), which PHP alone answers 404, reach the application.
$root = $_SERVER['DOCUMENT_ROOT'];
$path = rawurldecode(parse_url($_SERVER['REQUEST_URI'], PHP_URL_PATH) ?? '/');
$index = $root . DIRECTORY_SEPARATOR . 'index.php';
if (file_exists($root . $path) || !is_file($index)) {
    return false;
}
// As PHP sets them for a request of /index.php itself.
$_SERVER['SCRIPT_NAME'] = '/index.php';
$_SERVER['PHP_SELF'] = '/index.php';
$_SERVER['SCRIPT_FILENAME'] = $index;
chdir($root);
require $index;
